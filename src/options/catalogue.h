// The folder catalogue: the image files of the source folder, in the order
// the listing gives them.
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
// The files of folder whose extension is in the program's table. An empty
// text names no folder (it would otherwise list the root).
FolderListing listImageFolder(const Program& p, const std::string& typed);
std::string formatSize(const Program& p, std::int64_t bytes);
// Characters after the last '.', lower-cased (ASCII); "" when none.
std::string fileExtension(const std::string& name);

}  // namespace tv
