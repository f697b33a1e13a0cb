// Desktop services: locale, pictures folder, opening a folder.
#pragma once

#include <string>

namespace tv::platform {

// "language_country" from the first non-empty of LC_ALL, LC_MESSAGES, LANG
// ("fr_CA.UTF-8" gives "fr_CA"); empty when none is set.
std::string localeLanguageCountry();
// XDG_PICTURES_DIR from user-dirs.dirs, else ~/Pictures when it exists, else "".
std::string picturesFolder();
// Starts the desktop's default application on the folder (xdg-open, no
// shell), without waiting; the child is reaped. False when it cannot start.
bool openFolder(const std::string& path);

}  // namespace tv::platform
