#include "options/catalogue.h"

#include <charconv>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/files.h"
#include "windows/ids.h"
#include "ui/window_system.h"

namespace tv {

namespace {

constexpr std::string_view VideoExtensions = ";avi;mpeg;mpg;mov;";

std::string trimSpaces(const std::string& s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const std::size_t last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

void asciiLower(std::string& s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

// The integer value of a text: optional spaces and sign, then the leading
// digits; 0 when there are none.
int integerValue(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > 0x7FFFFFFFLL) return negative ? -0x7FFFFFFF - 1 : 0x7FFFFFFF;
    }
    return static_cast<int>(negative ? -v : v);
}

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

// The list splits a row's columns at line feeds; a file name holding one
// (Linux allows it) must still show in its own column.
std::string rowName(const std::string& name) {
    std::string shown = name;
    for (char& c : shown)
        if (c == '\n' || c == '\r') c = '?';
    return shown;
}

}  // namespace

std::string fileExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    if (name.find_first_of("/\\", dot + 1) != std::string::npos) return {};
    std::string ext = name.substr(dot + 1);
    asciiLower(ext);
    return ext;
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

void buildCatalogue(Program& p) {
    WindowSystem& ui = p.ui;
    ui.hideWindow(id::WndMain, true);

    const std::string typedFolder = trimSpaces(ui.getText(id::StringPath));
    p.sourceFolder = typedFolder;
    if (p.sourceFolder.empty() || p.sourceFolder.back() != platform::Separator)
        p.sourceFolder.push_back(platform::Separator);

    p.outputExtension = ui.getText(id::ComboFormat);
    if (ui.getState(id::CheckboxExtensionCase) != 0) asciiLower(p.outputExtension);

    p.compressionLevel = integerValue(ui.getText(id::ComboCompression));

    ui.hideWindow(id::WndList, false);
    ui.activateWindow(id::WndList);

    // An empty folder field names no folder; appending the separator to it
    // would otherwise list the root of the file system.
    std::vector<std::string> names;
    if (!typedFolder.empty()) names = platform::listDirectory(p.sourceFolder);

    for (const std::string& name : names) {
        const std::string ext = fileExtension(name);
        if (isImageExtension(p, ext))
            p.catalogue.push_back(ImageEntry{name});
        else if (isVideoExtension(ext))
            ui.hideGadget(id::TextContainsVideo, false);
    }

    if (p.catalogue.empty()) {
        const std::string text = p.texts.lookup("Info.EmptyFolder1") + "\r\n  " + p.texts.lookup("Info.EmptyFolder2");
        ui.messageBox(ProductName, text, mb::Ok | mb::IconNone);
        endProgram(p);
        return;
    }

    for (const ImageEntry& entry : p.catalogue) {
        const std::int64_t size = platform::fileSize(p.sourceFolder + entry.name);
        ui.addItem(id::ListImgList, -1, rowName(entry.name) + "\n" + formatSize(p, size));
        const int rowIndex = ui.countItems(id::ListImgList) - 1;
        if (rowIndex >= 0) ui.setItemState(id::ListImgList, rowIndex, row::Ticked);
    }
}

}  // namespace tv
