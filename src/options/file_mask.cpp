#include "options/file_mask.h"

#include <algorithm>
#include <string_view>

#include "platform/files.h"

namespace tv {

namespace {

// What a mask may not hold: it would make the name a path. On Windows "/"
// separates too wherever a path reaches the system ("../#" would write
// beside the chosen folder); the separator comes first, for the message.
#ifdef _WIN32
constexpr std::string_view ForbiddenInMask = "\\/";
#else
constexpr std::string_view ForbiddenInMask = "/";
#endif
static_assert(ForbiddenInMask.front() == platform::Separator);

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
    forbidden = ForbiddenInMask.front();
    if (c.rename) {
        if (std::count(c.mask.begin(), c.mask.end(), '#') != 1) return "Info.AlertFile.Diese";
        if (const std::size_t at = c.mask.find_first_of(ForbiddenInMask); at != std::string::npos) {
            forbidden = c.mask[at];
            return "Info.AlertFile.InvalidName";
        }
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
