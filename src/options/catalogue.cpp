#include "options/catalogue.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/files.h"
#include "shell/text.h"

namespace tv {

namespace {

constexpr std::string_view VideoExtensions = ";avi;mpeg;mpg;mov;";

bool isImageExtension(const Program& p, const std::string& ext) {
    if (ext.empty()) return false;
    for (int i = 1; i <= p.extensionCount && i < static_cast<int>(p.extensions.size()); ++i)
        if (p.extensions[i] == ext) return true;
    return false;
}

bool isVideoExtension(const std::string& ext) {
    if (ext.empty()) return false;
    return VideoExtensions.find(";" + ext + ";") != std::string_view::npos;
}

}  // namespace

bool nameOrderLess(const std::string& a, const std::string& b) {
    auto fold = [](unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c; };
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = fold(static_cast<unsigned char>(a[i]));
        const unsigned char y = fold(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

std::string fileExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    if (name.find_first_of("/\\", dot + 1) != std::string::npos) return {};
    return asciiLower(name.substr(dot + 1));
}

std::string formatSize(const Program& p, std::int64_t bytes) {
    if (bytes < 1) return "0 " + p.texts.lookup("Byte");
    // The whole 64-bit count: files of 2 GiB and more show their real size.
    float v = static_cast<float>(bytes);
    const char* unit = " o";
    static constexpr const char* Units[3] = {" Ko", " Mo", " Go"};
    for (const char* next : Units) {
        if (!(v > 1024.0f)) break;
        v /= 1024.0f;
        unit = next;
    }
    char buf[64];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 1);
    std::string text = ec == std::errc() ? std::string(buf, ptr) : std::string("0.0");
    return text + unit;
}

std::string sourceFolderFrom(const std::string& typed) {
    std::string folder = trimSpaces(typed);
    if (folder.empty() || folder.back() != platform::Separator) folder.push_back(platform::Separator);
    return folder;
}

FolderListing listImageFolder(const Program& p, const std::string& typed) {
    FolderListing out;
    if (trimSpaces(typed).empty()) return out;
    for (const std::string& name : platform::listDirectory(sourceFolderFrom(typed))) {
        const std::string ext = fileExtension(name);
        if (isImageExtension(p, ext))
            out.images.push_back(ImageEntry{name});
        else if (isVideoExtension(ext))
            out.hasVideo = true;
    }
    std::sort(out.images.begin(), out.images.end(),
              [](const ImageEntry& x, const ImageEntry& y) { return nameOrderLess(x.name, y.name); });
    return out;
}

}  // namespace tv
