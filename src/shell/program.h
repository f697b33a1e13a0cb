// The program's state: one record per run, passed to every function of the
// program, so that a test can run the whole program many times in one process.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/thread.h"
#include "shell/language.h"
#include "ui/window_system.h"

namespace tv {

// The 6 bytes of data.tvl.
struct StoredOptions {
    std::array<std::uint8_t, 6> bytes{5, 0, 0, 0, 1, LangEnglish};
    std::uint8_t language() const { return bytes[5]; }
};

// The folder's image file names, in name order (nameOrderLess). A row's tick lives in
// the image list gadget, at the same position.
struct ImageEntry {
    std::string name;
};
using ImageCatalogue = std::vector<ImageEntry>;

// What one batch runs with. The windows copy it when Compress is accepted
// (the folder, format and quality were fixed at List); their windows are
// hidden during the batch, so nothing the worker would have read from them
// could change meanwhile. The worker alone reads it after it has started.
struct RunSettings {
    std::string sourceFolder;  // ends with the separator
    // "JPG", "PNG" or "BMP", lower-cased when the box was ticked at List.
    std::string outputExtension = "JPG";
    int compressionLevel = 5;  // JPEG quality 0..10
    std::string outputTarget;
    std::string destinationFolder;  // ends with the separator
    std::int64_t startNumber = 1;   // at least 1
    bool removeSources = false;
    std::vector<std::uint8_t> ticked;  // per catalogue entry: 1 = ticked
    StoredOptions stored;              // what data.tvl gets at the end
    // False for a run that must leave data.tvl alone (the command line's).
    bool rememberOptions = true;
    // The one box the user may still change while the batch runs, read
    // when it ends; empty = not ticked.
    std::function<bool()> openFolderWanted;
};

// The questions the worker may ask. A front end with nobody to ask (the
// command line under a script) answers them by its policy instead; the
// windows leave every one to the user.
enum class Question {
    LoadFailed,          // Yes: five more loads; No: skip the photo
    ResizeFailed,        // YesNo: Yes stops resizing; Ok: told only
    Overwrite,           // Yes: replace; No: new name; Cancel: skip
    NewNameForExisting,  // the text box after No to Overwrite
    DeleteFailed,        // Yes: try again; No: give the photo up
    SaveFailed,          // Yes: new name; No: try again; Cancel: give up
    NewNameAfterFailedSave,
    RemoveSourceFailed,  // Yes: try again; No: keep the source
};

struct QuestionPolicy {
    // subject: the path (or, for load and resize, the file name) asked about.
    // An answer, or none to put the question to the user.
    std::function<std::optional<int>(Question q, const std::string& subject)> answer;
    // The new name for a text-box question; none to ask the user.
    std::function<std::optional<std::string>(Question q, const std::string& current)> newName;
};

enum class ImageOutcome { Saved, Skipped, GivenUp, Stopped };

// What became of one ticked photo, told to the front end as it ends.
struct PhotoReport {
    std::size_t index = 0;  // catalogue position
    std::string name;
    std::int64_t number = 0;
    ImageOutcome outcome = ImageOutcome::Skipped;
    std::string outputPath;  // the last output path, saved or not
    int width = 0, height = 0;  // as loaded; 0 when it never loaded
    bool sourceRemoved = false;
};

// How the UI thread holds the worker: it waits at its check points while
// Paused and abandons its work when Stop is set.
enum class WorkerGate : int { Run = 0, Pause = 1, Stop = 2 };

struct Program {
    explicit Program(WindowSystem& windowSystem) : ui(windowSystem) {
        engine.pages.map = platform::mapPages;
        engine.pages.unmap = platform::unmapPages;
        engine.machine = {platform::physicalMemoryBytes(), platform::trimHeap};
        engine.files.open = platform::openFile;
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    WindowSystem& ui;
    img::Engine engine;
    LanguageTable texts;
    StoredOptions stored;

    // Folder holding data.tvl and temp.tmp; empty = the working directory.
    std::string workDir;

    // Shell state.
    std::array<std::string, 11> extensions{};
    int extensionCount = 0;
    std::string defaultFolder;
    bool sourceChosenByChooser = false;
    bool otherChosenByChooser = false;
    std::uint32_t lastRefresh = 0;

    RunSettings run;
    std::atomic<float> ScaleRatio{1.0f};
    ImageCatalogue catalogue;

    // Shared with the worker: each written by one side only.
    std::atomic<int> TickedCount{0};
    std::atomic<int> ProcessedCount{0};
    std::atomic<int> WorkerFinished{0};
    int ResizeFailureCount = 0;  // worker only
    std::atomic<int> gate{static_cast<int>(WorkerGate::Run)};

    // Set by endProgram: every loop and handler unwinds when it sees it.
    bool ended = false;

    // Desktop services, replaceable by tests.
    std::function<void(const std::string&)> openFolder;
    std::function<std::string()> picturesFolder;

    // How the worker's questions are answered; empty = by the user.
    QuestionPolicy policy;
    // Told on the worker thread before and after each ticked photo; may be
    // empty.
    std::function<void(std::size_t index, const std::string& name, std::int64_t number)> photoStarting;
    std::function<void(const PhotoReport&)> photoDone;

    // The worker's body; empty = RunBatch with the platform's file
    // operations. Tests hand it their own file operations through this.
    std::function<int(Program&, std::string)> runBatch;

    // Last, so that it is destroyed, and so joined, before everything the
    // worker uses.
    platform::Thread worker;
};

// File names relative to the program's working folder.
std::string workPath(const Program& p, const std::string& name);

// The one shutdown path: stops the worker if it runs, and marks the program
// ended so the loops unwind to main. Safe to call more than once.
void endProgram(Program& p);

// Worker gate, without locks: the worker blocks on the atomic while paused.
void pauseWorker(Program& p);
void continueWorker(Program& p);
void stopWorker(Program& p);
// Called by the worker between steps; true when it must abandon its work.
bool workerShouldStop(Program& p);

// Warning box: caption "Tarvolin - " + text of Error, exclamation icon.
int showWarning(Program& p, const std::string& text, unsigned buttons);

// A worker question: the policy's answer, else the message box.
int askWorkerQuestion(Program& p, Question q, const std::string& subject, const std::string& caption,
                      const std::string& text, unsigned type);
// The worker's new-name text box, defaulting to current.
std::string askNewName(Program& p, Question q, const std::string& current);

// Codecs in their fixed order and the table of listed extensions: what
// every front end sets up before it lists a folder.
void prepareEngine(Program& p);

// The product name used in captions and messages.
constexpr const char* ProductName = "Tarvolin";
constexpr const char* VersionText = "2.5.1";

}  // namespace tv
