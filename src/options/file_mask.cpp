#include "options/file_mask.h"

#include <algorithm>

#include "platform/files.h"

namespace tv {

namespace {

// The one character a mask may not hold: it would make the name a path.
constexpr char ForbiddenInMask = platform::Separator;

// Empty is missing; trailing separators do not count, but a text made only
// of separators is the root folder.
bool folderExists(const std::string& text) {
    if (text.empty()) return false;
    std::string path = text;
    while (path.size() > 1 && path.back() == platform::Separator) path.pop_back();
    return platform::isDirectory(path);
}

}  // namespace

std::string compressionOptionsError(const CompressionChoice& c, char& forbidden) {
    forbidden = ForbiddenInMask;
    if (c.rename) {
        if (std::count(c.mask.begin(), c.mask.end(), '#') != 1) return "Info.AlertFile.Diese";
        if (c.mask.find(ForbiddenInMask) != std::string::npos) return "Info.AlertFile.InvalidName";
    }
    if (c.otherFolder && !folderExists(c.folder)) return "Info.AlertFile.NonExistingPath";
    return {};
}

std::string outputTemplate(const CompressionChoice& c, const std::string& outputExtension) {
    const std::string extension = "." + outputExtension;
    if (c.rename) {
        if (c.otherFolder) return joinPath(c.folder, c.mask) + extension;
        return c.mask + extension;
    }
    if (c.otherFolder) {
        std::string folder = c.folder;
        if (folder.empty() || folder.back() != platform::Separator) folder.push_back(platform::Separator);
        return folder;
    }
    return {};
}

std::string destinationFolderOf(const std::string& outputTarget, const std::string& sourceFolder) {
    std::size_t last = outputTarget.find_last_of(platform::Separator);
    if (last == std::string::npos) return sourceFolder;
    return outputTarget.substr(0, last + 1);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (name.empty()) return folder;
    if (folder.empty()) return name;
    if (folder.back() == platform::Separator || name.front() == platform::Separator) return folder + name;
    return folder + platform::Separator + name;
}

}  // namespace tv
