// Output placement: making the output path free, saving with a retry
// question, copying the source's dates and removing the source.
//
// No photo is ever lost on the way. A file that has to make room for the
// output is never moved or deleted to make that room: the new picture is
// written to a temporary file of ours in the destination folder, given its
// dates and permission bits, flushed to disk, and only then renamed over
// the old file in one step. Until that rename the old file is simply still
// there, whatever happens (a failed save, Cancel, Stop, a crash); after it
// the new one is complete. "Deleting" a file to make room therefore only
// checks that it may be replaced and notes that the user agreed to it.
//
// Whether two paths name one file is decided by file identity, never by
// comparing their texts.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "platform/file_state.h"
#include "platform/files.h"
#include "shell/program.h"
#include "shell/text.h"

namespace tv {

// The steps of putting one picture in place, in order.
enum class SaveStep { TempCreated, Encoded, Flushed, Renamed, FolderFlushed, SourceRemoved };

// The file operations the batch performs. The defaults are the platform's;
// tests replace single entries to make an operation fail where file
// permissions cannot (they may run as root), or end the process at a step.
struct FileOps {
    // loaded describes the very file that was read.
    std::function<img::ImageHandle(img::Engine& e, const std::string& path, platform::FileStamp& loaded)> loadImage;
    std::function<std::int64_t(const std::string& path)> fileSize;
    std::function<platform::Hold(const std::string& path)> holdOf;
    std::function<bool(const std::string& path, bool privateFile, platform::TempFile& out)> createTemp;
    std::function<int(img::Engine& e, img::ImageHandle h, const std::string& path, std::uint32_t encoder,
                      int options)>
        saveImage;
    std::function<bool(const platform::TempFile& t)> flushFile;
    std::function<bool(const std::string& from, const std::string& to)> renameFile;
    std::function<bool(const std::string& folder)> flushFolder;
    std::function<bool(const std::string& path)> deleteFile;
    // Told of every step once it is done; may be empty.
    std::function<void(SaveStep step, const std::string& path)> reached;
};

FileOps platformFileOps();

// What one batch keeps across its images.
struct BatchFiles {
    explicit BatchFiles(const FileOps& fileOps) : ops(fileOps) {}
    const FileOps& ops;
    std::set<std::string> cleanedFolders;
    unsigned counter = 0;

    // Removes the temporary files that runs which ended abruptly left in
    // folder, once per batch, before the first save into it.
    void cleanFolder(const std::string& folder);
    // Creates our temporary file beside path: "<folder>/.<name>.tvtmp-<unique>-<n>".
    bool createTemp(const std::string& path, bool privateFile, platform::TempFile& out);
};

// True for the names createTemp gives, and for nothing a user would name a file.
bool isTemporaryName(const std::string& name);

// The creation and modification dates of a source; empty when unreadable.
struct SourceDates {
    std::optional<platform::FileDate> creation;
    std::optional<platform::FileDate> modification;
};

// One image's dealings with the files on disk.
struct Placement {
    Placement(BatchFiles& batchFiles, std::string source, platform::FileStamp loadedSource)
        : files(batchFiles), ops(batchFiles.ops), sourcePath(std::move(source)), loaded(loadedSource) {}
    BatchFiles& files;
    const FileOps& ops;
    const std::string sourcePath;
    const platform::FileStamp loaded;  // the source as it was read

    // Files the user agreed to have replaced: the file a path named then,
    // or anything at a path typed after a failed save.
    struct Agreed {
        std::string path;
        platform::FileStamp stamp;
        bool anyFile = false;
    };
    std::vector<Agreed> agreed;

    // Whether the file at path may be replaced now. The source counts as in
    // use once it changed since it was read: only what was read of it may
    // stand in for it.
    platform::Hold holdOf(const std::string& path) const;
    // The same for removing the source: only the very file that was read.
    platform::Hold sourceHold() const;
    void agree(const std::string& path);
    void agreeToAnyFile(const std::string& path);
    // The file at path now is one the user agreed to have replaced.
    bool agreedTo(const std::string& path) const;
    // May the new picture be renamed over what stands at path now?
    bool mayReplace(const std::string& path) const;
    void step(SaveStep s, const std::string& path) const {
        if (ops.reached) ops.reached(s, path);
    }
};

// Clears the way for the output. True when the image goes on to be resized
// and saved; false when it has ended (released, image set to NoImage) or
// the batch was stopped.
bool ResolveOutputCollision(Program& p, std::string& outputPath, img::ImageHandle& image, Placement& placement);

// Makes sure the file at path may be replaced, asking again while it may
// not. 1 when it may; 0 when the user gave up or the batch was stopped (the
// image is then released).
int DeleteWithRetry(Program& p, const std::string& path, img::ImageHandle& image, Placement& placement);

// Saves the image, asking again on failure. 1 when saved (dates copied),
// -1 when the user cancelled or the batch was stopped; nothing partial is
// left behind either way.
int SaveWithRetry(Program& p, img::ImageHandle image, std::string& outputPath, const std::string& outputExtension,
                  int compressionLevel, const SourceDates& dates, Placement& placement);

// Creation time first (Linux refuses it; ignored), then modification time;
// an unreadable date leaves the file's own.
void CopyFileDates(const std::string& path, const SourceDates& dates);

// Deletes the source, asking again while it fails or may not be removed.
// True when it is gone.
bool RemoveSourceImage(Program& p, Placement& placement);

}  // namespace tv
