#include "batch/placement.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "ui/window_system.h"

namespace tv {

namespace {

// Longest part of the original name kept in a hidden name, so that the
// hidden name stays within the 255 bytes a file name may have.
constexpr std::size_t MaxKeptName = 200;

std::string folderPart(const std::string& path) {
    std::size_t slash = path.rfind(platform::Separator);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string namePart(const std::string& path) {
    std::size_t slash = path.rfind(platform::Separator);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Cut to at most max bytes without splitting a UTF-8 sequence.
std::string cutName(const std::string& name, std::size_t max) {
    if (name.size() <= max) return name;
    std::size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
    return name.substr(0, n);
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

void release(Program& p, img::ImageHandle& image) {
    if (image != img::NoImage) img::image_free(p.engine, image);
    image = img::NoImage;
}

std::string text(const Program& p, const char* key) { return p.texts.lookup(key); }

// The encoder and its options for an output extension, compared exactly.
bool encoderFor(const std::string& ext, int level, std::uint32_t& encoder, int& options) {
    if (ext == "BMP" || ext == "bmp") {
        encoder = img::BmpEncoderId;
        options = 7;
        return true;
    }
    if (ext == "PNG" || ext == "png") {
        encoder = img::PngEncoderId;
        options = 7;
        return true;
    }
    if (ext == "JPG" || ext == "jpg") {
        encoder = img::JpegEncoderId;
        options = level;
        return true;
    }
    return false;
}

// One save attempt: the complete file appears at outputPath or nothing
// changes there, and no temporary file stays behind.
bool saveOnce(Program& p, img::ImageHandle image, const std::string& outputPath, const std::string& ext, int level,
              Placement& placement) {
    std::uint32_t encoder = 0;
    int options = 0;
    if (!encoderFor(ext, level, encoder, options)) return false;
    if (outputPath.empty() || namePart(outputPath).empty()) return false;
    const FileOps& ops = placement.ops;
    std::string temp = placement.hiddenName(outputPath, "tvtmp");
    int saved = ops.saveImage(p.engine, image, temp, encoder, options);
    if (saved == 0) {
        if (ops.fileSize(temp) != -1) ops.deleteFile(temp);
        return false;
    }
    if (!ops.renameFile(temp, outputPath)) {
        if (ops.fileSize(temp) != -1) ops.deleteFile(temp);
        return false;
    }
    return true;
}

}  // namespace

FileOps platformFileOps() {
    FileOps ops;
    ops.loadImage = [](img::Engine& e, const std::string& path) { return img::image_load(e, path); };
    ops.fileSize = [](const std::string& path) { return platform::fileSize(path); };
    ops.deleteFile = [](const std::string& path) { return platform::deleteFile(path); };
    ops.renameFile = [](const std::string& from, const std::string& to) { return platform::renameFile(from, to); };
    ops.saveImage = [](img::Engine& e, img::ImageHandle h, const std::string& path, std::uint32_t encoder,
                       int options) { return img::image_save(e, h, path, encoder, options); };
    return ops;
}

bool samePathIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

std::string replaceAll(std::string s, const std::string& marker, const std::string& value) {
    if (marker.empty()) return s;
    std::size_t at = 0;
    while ((at = s.find(marker, at)) != std::string::npos) {
        s.replace(at, marker.size(), value);
        at += value.size();
    }
    return s;
}

std::string Placement::hiddenName(const std::string& path, const char* tag) {
    // Two runs at once in the same folder must not pick the same name.
    auto clock = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    auto thread = static_cast<unsigned long long>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
    char unique[24];
    std::snprintf(unique, sizeof unique, "%08llx", (clock ^ thread) & 0xFFFFFFFFull);
    std::string base = folderPart(path) + "." + cutName(namePart(path), MaxKeptName) + "." + tag + "-" + unique + "-";
    for (;;) {
        std::string candidate = base + std::to_string(counter++);
        if (ops.fileSize(candidate) == -1) return candidate;
    }
}

void Placement::commit(const std::string& finalPath) {
    std::vector<Aside> putBack;
    for (const Aside& a : asides) {
        if (samePathIgnoringCase(a.original, finalPath))
            ops.deleteFile(a.hidden);
        else
            putBack.push_back(a);
    }
    asides = std::move(putBack);
    restore();
}

void Placement::restore() {
    for (auto it = asides.rbegin(); it != asides.rend(); ++it) {
        // Never put a file back over one that appeared meanwhile; it then
        // stays under its hidden name.
        if (ops.fileSize(it->original) == -1) ops.renameFile(it->hidden, it->original);
    }
    asides.clear();
}

int DeleteWithRetry(Program& p, const std::string& path, img::ImageHandle& image, Placement& placement) {
    for (;;) {
        if (workerShouldStop(p)) break;
        std::string hidden = placement.hiddenName(path, "tvold");
        if (placement.ops.renameFile(path, hidden)) {
            placement.asides.push_back({path, hidden});
            return 1;
        }
        if (workerShouldStop(p)) break;
        std::string message = text(p, "Info.DeleteImage.Text1") + " :\n" + path + "\n" +
                              text(p, "Info.DeleteImage.Text2") + "\n\n" + text(p, "Info.DeleteImage.Text3");
        int a = p.ui.messageBox(ProductName, message, mb::YesNo | mb::IconError);
        if (workerShouldStop(p) || a == answer::No) break;
    }
    release(p, image);
    return 0;
}

bool ResolveOutputCollision(Program& p, const std::string& sourcePath, std::string& outputPath,
                            img::ImageHandle& image, Placement& placement) {
    if (samePathIgnoringCase(outputPath, sourcePath)) {
        if (DeleteWithRetry(p, sourcePath, image, placement) == 0) return false;
        // Where letter case matters, a different file may stand at the
        // output path: it gets the overwrite question rather than being
        // replaced unasked.
        if (outputPath == sourcePath) return true;
    }
    for (;;) {
        if (workerShouldStop(p)) break;
        if (placement.ops.fileSize(outputPath) < 0) return true;
        std::string caption = std::string(ProductName) + " - " + text(p, "Info.FileOverwrite.Title");
        std::string message = replaceAll(text(p, "Info.FileOverwrite.Message"), "%", outputPath);
        int a = p.ui.messageBox(caption, message, mb::YesNoCancel | mb::IconWarning);
        if (workerShouldStop(p)) break;
        if (a == answer::Yes) {
            if (DeleteWithRetry(p, outputPath, image, placement) == 0) return false;
        } else if (a == answer::No) {
            outputPath = p.ui.inputBox(text(p, "Info.FileOverwrite.New.Title"),
                                       text(p, "Info.FileOverwrite.New.Message") + " :", outputPath);
        } else if (a == answer::Cancel) {
            break;
        }
    }
    release(p, image);
    return false;
}

void CopyFileDates(const std::string& outputPath, platform::FileDate creation, platform::FileDate modification) {
    // 0 is a date that could not be read: the output keeps its own then.
    if (creation != 0) platform::writeFileDate(outputPath, platform::DateKind::Creation, creation);
    if (modification != 0) platform::writeFileDate(outputPath, platform::DateKind::Modification, modification);
}

int SaveWithRetry(Program& p, img::ImageHandle image, std::string& outputPath, const std::string& outputExtension,
                  int compressionLevel, platform::FileDate creation, platform::FileDate modification,
                  Placement& placement) {
    for (;;) {
        if (workerShouldStop(p)) return -1;
        if (saveOnce(p, image, outputPath, outputExtension, compressionLevel, placement)) {
            CopyFileDates(outputPath, creation, modification);
            return 1;
        }
        // A save abandoned by Stop is no failure to ask about.
        if (workerShouldStop(p)) return -1;
        std::string message = text(p, "Info.UnableSaveImage.Title") + " :\n" + outputPath + "\n\n" +
                              text(p, "Info.UnableSaveImage.Message");
        int a = p.ui.messageBox(ProductName, message, mb::YesNoCancel | mb::IconWarning);
        if (workerShouldStop(p)) return -1;
        if (a == answer::Cancel) return -1;
        if (a == answer::Yes) {
            outputPath = p.ui.inputBox(text(p, "Info.FileOverwrite.New.Title"),
                                       text(p, "Info.FileOverwrite.New.Message") + " :", outputPath);
        }
    }
}

void RemoveSourceImage(Program& p, const std::string& sourcePath, const FileOps& ops) {
    for (;;) {
        if (ops.deleteFile(sourcePath)) return;
        if (workerShouldStop(p)) return;
        std::string message =
            text(p, "Info.UnableDeleteImage.Text1") + " :\n" + sourcePath + "\n\n" + text(p, "Info.TryAgain");
        int a = p.ui.messageBox(ProductName, message, mb::YesNo | mb::IconWarning);
        if (workerShouldStop(p) || a == answer::No) return;
    }
}

}  // namespace tv
