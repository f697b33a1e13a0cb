#include "options/file_mask.h"

#include <algorithm>

#include "platform/files.h"
#include "windows/ids.h"
#include "ui/window_system.h"

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

bool validateCompressionOptions(Program& p) {
    WindowSystem& ui = p.ui;
    const bool rename = ui.getState(id::CheckboxRenameImage) != 0;
    if (rename) {
        const std::string mask = ui.getText(id::StringFileName);
        if (std::count(mask.begin(), mask.end(), '#') != 1) {
            showWarning(p, p.texts.lookup("Info.AlertFile.Diese"), mb::Ok);
            return false;
        }
        if (mask.find(ForbiddenInMask) != std::string::npos) {
            std::string text = p.texts.lookup("Info.AlertFile.InvalidName");
            std::string shown;
            for (char c : text) {
                if (c == '%')
                    shown.push_back(ForbiddenInMask);
                else
                    shown.push_back(c);
            }
            showWarning(p, shown, mb::Ok);
            return false;
        }
    }
    if (ui.getState(id::CheckboxOtherFolder) != 0 && !folderExists(ui.getText(id::StringOtherFolder))) {
        showWarning(p, p.texts.lookup("Info.AlertFile.NonExistingPath"), mb::Ok);
        return false;
    }
    return true;
}

std::string buildOutputTemplate(Program& p, const std::string& outputExtension) {
    WindowSystem& ui = p.ui;
    const bool rename = ui.getState(id::CheckboxRenameImage) != 0;
    const bool other = ui.getState(id::CheckboxOtherFolder) != 0;
    const std::string extension = "." + outputExtension;
    if (rename) {
        const std::string mask = ui.getText(id::StringFileName);
        if (other) return joinPath(ui.getText(id::StringOtherFolder), mask) + extension;
        return mask + extension;
    }
    if (other) {
        std::string folder = ui.getText(id::StringOtherFolder);
        if (folder.empty() || folder.back() != platform::Separator) folder.push_back(platform::Separator);
        return folder;
    }
    return {};
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (name.empty()) return folder;
    if (folder.empty()) return name;
    if (folder.back() == platform::Separator || name.front() == platform::Separator) return folder + name;
    return folder + platform::Separator + name;
}

}  // namespace tv
