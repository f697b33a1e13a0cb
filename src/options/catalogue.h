// The folder catalogue: the image files of the source folder, in name order
// (see nameOrderLess).
#pragma once

#include <cstdint>
#include <string>

#include "shell/program.h"

namespace tv {

struct FolderListing {
    ImageCatalogue images;
    bool hasVideo = false;  // a video file sits among them
};

// The source folder a typed text names: trimmed, ending with the separator.
std::string sourceFolderFrom(const std::string& typed);
// The order a listing of the photographers' usual file system gives, on
// every file system: names compared ordinally with the ASCII letters folded
// to upper case ("IMG_10" before "IMG_2", "aab" before "a_b"); names equal
// but for letter case keep a fixed order by their bytes. Hash-ordered
// listings would otherwise number "Holiday 001" after a random photo.
bool nameOrderLess(const std::string& a, const std::string& b);
// The files of folder whose extension is in the program's table. An empty
// text names no folder (it would otherwise list the root).
FolderListing listImageFolder(const Program& p, const std::string& typed);
std::string formatSize(const Program& p, std::int64_t bytes);
// Characters after the last '.', lower-cased (ASCII); "" when none.
std::string fileExtension(const std::string& name);

}  // namespace tv
