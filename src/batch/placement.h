// Output placement: making the output path free, saving with a retry
// question, copying the source's dates and removing the source.
//
// No photo is ever lost on the way: a file that has to make room for the
// output is moved aside to a hidden name in its own folder instead of being
// deleted, and the new image is written to a hidden temporary file that is
// renamed into place only once it is complete. The moved-aside file is
// removed after the new file is in place, and put back when the image is
// given up or the batch is stopped.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "platform/files.h"
#include "shell/program.h"

namespace tv {

// The file operations the batch performs. The defaults are the platform's;
// tests replace single entries to make a rename, a delete or a save fail
// where file permissions cannot (they run as root).
struct FileOps {
    std::function<img::ImageHandle(img::Engine& e, const std::string& path)> loadImage;
    std::function<std::int64_t(const std::string& path)> fileSize;
    std::function<bool(const std::string& path)> deleteFile;
    std::function<bool(const std::string& from, const std::string& to)> renameFile;
    std::function<int(img::Engine& e, img::ImageHandle h, const std::string& path, std::uint32_t encoder,
                      int options)>
        saveImage;
};

FileOps platformFileOps();

// The files one image has moved aside so far, and where they came from.
struct Placement {
    explicit Placement(const FileOps& fileOps) : ops(fileOps) {}
    struct Aside {
        std::string original;
        std::string hidden;
    };
    const FileOps& ops;
    std::vector<Aside> asides;
    unsigned counter = 0;

    // A free hidden name beside path: "<folder>/.<name>.<tag>-<unique>-<n>".
    std::string hiddenName(const std::string& path, const char* tag);
    // The new file is at finalPath: a moved-aside file that stood there is
    // removed; any other is put back where it was.
    void commit(const std::string& finalPath);
    // The image was given up or the batch stopped: put every moved-aside
    // file back.
    void restore();
};

// True when a and b are equal once ASCII letters are lower-cased.
bool samePathIgnoringCase(const std::string& a, const std::string& b);
// Every occurrence of marker replaced by value.
std::string replaceAll(std::string text, const std::string& marker, const std::string& value);

// Clears the way for the output. True when the image goes on to be resized
// and saved; false when it has ended (released, image set to NoImage) or
// the batch was stopped.
bool ResolveOutputCollision(Program& p, const std::string& sourcePath, std::string& outputPath,
                            img::ImageHandle& image, Placement& placement);

// Makes room at path (moves the file aside). 1 when done; 0 when the user
// gave up or the batch was stopped (the image is then released).
int DeleteWithRetry(Program& p, const std::string& path, img::ImageHandle& image, Placement& placement);

// Saves the image, asking again on failure. 1 when saved (dates copied),
// -1 when the user cancelled or the batch was stopped; nothing partial is
// left behind either way.
int SaveWithRetry(Program& p, img::ImageHandle image, std::string& outputPath, const std::string& outputExtension,
                  int compressionLevel, platform::FileDate creation, platform::FileDate modification,
                  Placement& placement);

// Creation time first (Linux refuses it; ignored), then modification time.
void CopyFileDates(const std::string& outputPath, platform::FileDate creation, platform::FileDate modification);

// Deletes the source, asking again while it fails.
void RemoveSourceImage(Program& p, const std::string& sourcePath, const FileOps& ops);

}  // namespace tv
