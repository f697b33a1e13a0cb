#include "batch/placement.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "ui/window_system.h"

namespace tv {

namespace {

// Longest part of the original name kept in a temporary name, so that it
// stays within the 255 bytes a file name may have.
constexpr std::size_t MaxKeptName = 200;
constexpr const char* TempTag = ".tvtmp-";

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

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

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

// One save attempt: the complete file appears at outputPath in one step or
// nothing changes there, and no temporary file stays behind.
bool saveOnce(Program& p, img::ImageHandle image, const std::string& outputPath, const std::string& ext, int level,
              const SourceDates& dates, Placement& placement) {
    std::uint32_t encoder = 0;
    int options = 0;
    if (!encoderFor(ext, level, encoder, options)) return false;
    if (outputPath.empty() || namePart(outputPath).empty()) return false;
    const platform::FileStamp before = platform::stampOf(outputPath);
    if (before.folder) return false;
    const FileOps& ops = placement.ops;
    const std::string folder = folderPart(outputPath);
    placement.files.cleanFolder(folder);

    // Private while it may stand in for a file of other permissions.
    platform::TempFile temp;
    if (!placement.files.createTemp(outputPath, before.exists, temp)) return false;
    placement.step(SaveStep::TempCreated, temp.path);
    bool ok = ops.saveImage(p.engine, image, temp.path, encoder, options) != 0 && platform::stillOurs(temp);
    if (ok) {
        placement.step(SaveStep::Encoded, temp.path);
        const platform::FileStamp replaced = platform::stampOf(outputPath);
        if (replaced.exists) platform::copyPermissions(temp, replaced);
        CopyFileDates(temp.path, dates);
        ok = ops.flushFile(temp);
    }
    if (ok) {
        placement.step(SaveStep::Flushed, temp.path);
        // A Stop confirmed meanwhile abandons the photo here: nothing of it
        // has become visible yet.
        ok = !workerShouldStop(p) && placement.mayReplace(outputPath) && ops.renameFile(temp.path, outputPath);
    }
    if (!ok) {
        platform::closeTempFile(temp, true);
        return false;
    }
    placement.step(SaveStep::Renamed, outputPath);
    // The picture is in place either way; the flush only makes the new name
    // survive a power cut before anything depends on it.
    ops.flushFolder(folder);
    placement.step(SaveStep::FolderFlushed, outputPath);
    platform::closeTempFile(temp, false);
    return true;
}

}  // namespace

FileOps platformFileOps() {
    FileOps ops;
    ops.loadImage = [](img::Engine& e, const std::string& path, platform::FileStamp& loaded) {
        std::FILE* f = platform::openForReading(path, loaded);
        if (!f) return img::NoImage;
        img::ImageHandle h = img::image_load_file(e, f);
        std::fclose(f);
        return h;
    };
    ops.fileSize = [](const std::string& path) { return platform::fileSize(path); };
    ops.holdOf = [](const std::string& path) { return platform::holdOf(path); };
    ops.createTemp = [](const std::string& path, bool privateFile, platform::TempFile& out) {
        return platform::createTempFile(path, privateFile, out);
    };
    ops.saveImage = [](img::Engine& e, img::ImageHandle h, const std::string& path, std::uint32_t encoder,
                       int options) { return img::image_save(e, h, path, encoder, options); };
    ops.flushFile = [](const platform::TempFile& t) { return platform::flushFile(t); };
    ops.renameFile = [](const std::string& from, const std::string& to) { return platform::renameFile(from, to); };
    ops.flushFolder = [](const std::string& folder) { return platform::flushFolder(folder); };
    ops.deleteFile = [](const std::string& path) { return platform::deleteFile(path); };
    return ops;
}

bool isTemporaryName(const std::string& name) {
    if (name.size() < 2 || name[0] != '.') return false;
    std::size_t at = name.rfind(TempTag);
    if (at == std::string::npos || at == 0) return false;
    std::size_t i = at + std::char_traits<char>::length(TempTag);
    for (std::size_t end = i + 8; i < end; ++i)
        if (i >= name.size() || !isHex(name[i])) return false;
    if (i >= name.size() || name[i] != '-' || ++i >= name.size()) return false;
    for (; i < name.size(); ++i)
        if (!isDigit(name[i])) return false;
    return true;
}

void BatchFiles::cleanFolder(const std::string& folder) {
    if (!cleanedFolders.insert(folder).second) return;
    const std::string listed = folder.empty() ? std::string(".") : folder;
    for (const std::string& name : platform::listDirectory(listed))
        if (isTemporaryName(name)) platform::removeUnheldTempFile(folder + name);
}

bool BatchFiles::createTemp(const std::string& path, bool privateFile, platform::TempFile& out) {
    // Two runs at once in the same folder must not pick the same name.
    auto clock = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    auto thread = static_cast<unsigned long long>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
    char unique[24];
    std::snprintf(unique, sizeof unique, "%08llx", (clock ^ thread) & 0xFFFFFFFFull);
    std::string base = folderPart(path) + "." + cutName(namePart(path), MaxKeptName) + TempTag + unique + "-";
    for (;;) {
        std::string candidate = base + std::to_string(counter++);
        if (ops.fileSize(candidate) != -1) continue;
        return ops.createTemp(candidate, privateFile, out);
    }
}

platform::Hold Placement::holdOf(const std::string& path) const {
    platform::Hold h = ops.holdOf(path);
    if (h != platform::Hold::Free) return h;
    platform::FileStamp now = platform::stampOf(path);
    if (platform::sameFile(now, loaded) && !platform::unchangedSince(loaded, now)) return platform::Hold::InUse;
    return h;
}

platform::Hold Placement::sourceHold() const {
    platform::FileStamp now = platform::stampOf(sourcePath);
    if (!now.exists) return platform::Hold::Gone;
    if (!platform::unchangedSince(loaded, now)) return platform::Hold::InUse;
    return ops.holdOf(sourcePath);
}

void Placement::agree(const std::string& path) { agreed.push_back({path, platform::stampOf(path), false}); }

void Placement::agreeToAnyFile(const std::string& path) { agreed.push_back({path, {}, true}); }

bool Placement::agreedTo(const std::string& path) const {
    platform::FileStamp now = platform::stampOf(path);
    for (const Agreed& a : agreed)
        if ((a.anyFile && a.path == path) || platform::sameFile(a.stamp, now)) return true;
    return false;
}

bool Placement::mayReplace(const std::string& path) const {
    platform::FileStamp now = platform::stampOf(path);
    if (!now.exists) return true;
    if (now.folder) return false;
    platform::Hold h = holdOf(path);
    if (h == platform::Hold::Protected || h == platform::Hold::InUse) return false;
    // A file that appeared after the way was cleared is nobody's to replace.
    return h == platform::Hold::Gone || agreedTo(path);
}

int DeleteWithRetry(Program& p, const std::string& path, img::ImageHandle& image, Placement& placement) {
    for (;;) {
        if (workerShouldStop(p)) break;
        platform::Hold h = placement.holdOf(path);
        if (h == platform::Hold::Free || h == platform::Hold::Gone) {
            placement.agree(path);
            return 1;
        }
        std::string message = text(p, "Info.DeleteImage.Text1") + " :\n" + path + "\n" +
                              text(p, "Info.DeleteImage.Text2") + "\n\n" + text(p, "Info.DeleteImage.Text3");
        int a = askWorkerQuestion(p, Question::DeleteFailed, path, ProductName, message, mb::YesNo | mb::IconError);
        if (workerShouldStop(p) || a == answer::No) break;
    }
    release(p, image);
    return 0;
}

bool ResolveOutputCollision(Program& p, std::string& outputPath, img::ImageHandle& image, Placement& placement) {
    // The output is the very file that was loaded, whatever the spelling.
    if (platform::sameFile(platform::stampOf(outputPath), placement.loaded))
        return DeleteWithRetry(p, placement.sourcePath, image, placement) != 0;
    for (;;) {
        if (workerShouldStop(p)) break;
        if (placement.ops.fileSize(outputPath) < 0 || placement.agreedTo(outputPath)) return true;
        std::string caption = std::string(ProductName) + " - " + text(p, "Info.FileOverwrite.Title");
        std::string message = replaceAll(text(p, "Info.FileOverwrite.Message"), "%", outputPath);
        int a = askWorkerQuestion(p, Question::Overwrite, outputPath, caption, message,
                                  mb::YesNoCancel | mb::IconWarning);
        if (workerShouldStop(p)) break;
        if (a == answer::Yes) {
            if (DeleteWithRetry(p, outputPath, image, placement) == 0) return false;
        } else if (a == answer::No) {
            outputPath = askNewName(p, Question::NewNameForExisting, outputPath);
        } else if (a == answer::Cancel) {
            break;
        }
    }
    release(p, image);
    return false;
}

void CopyFileDates(const std::string& path, const SourceDates& dates) {
    if (dates.creation) platform::writeFileDate(path, platform::DateKind::Creation, *dates.creation);
    if (dates.modification) platform::writeFileDate(path, platform::DateKind::Modification, *dates.modification);
}

int SaveWithRetry(Program& p, img::ImageHandle image, std::string& outputPath, const std::string& outputExtension,
                  int compressionLevel, const SourceDates& dates, Placement& placement) {
    for (;;) {
        if (workerShouldStop(p)) return -1;
        if (saveOnce(p, image, outputPath, outputExtension, compressionLevel, dates, placement)) return 1;
        // A save abandoned by Stop is no failure to ask about.
        if (workerShouldStop(p)) return -1;
        std::string message = text(p, "Info.UnableSaveImage.Title") + " :\n" + outputPath + "\n\n" +
                              text(p, "Info.UnableSaveImage.Message");
        int a = askWorkerQuestion(p, Question::SaveFailed, outputPath, ProductName, message,
                                  mb::YesNoCancel | mb::IconWarning);
        if (workerShouldStop(p)) return -1;
        if (a == answer::Cancel) return -1;
        if (a == answer::Yes) {
            outputPath = askNewName(p, Question::NewNameAfterFailedSave, outputPath);
            // Whatever stands under the typed name is replaced unasked.
            placement.agreeToAnyFile(outputPath);
        }
    }
}

bool RemoveSourceImage(Program& p, Placement& placement) {
    for (;;) {
        platform::Hold h = placement.sourceHold();
        if (h == platform::Hold::Gone) return true;
        if (h == platform::Hold::Free && placement.ops.deleteFile(placement.sourcePath)) {
            placement.step(SaveStep::SourceRemoved, placement.sourcePath);
            return true;
        }
        if (workerShouldStop(p)) return false;
        std::string message = text(p, "Info.UnableDeleteImage.Text1") + " :\n" + placement.sourcePath + "\n\n" +
                              text(p, "Info.TryAgain");
        int a = askWorkerQuestion(p, Question::RemoveSourceFailed, placement.sourcePath, ProductName, message,
                                  mb::YesNo | mb::IconWarning);
        if (workerShouldStop(p) || a == answer::No) return false;
    }
}

}  // namespace tv
