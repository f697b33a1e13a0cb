// The program's state: one record per run, passed to every function of the
// program, so that a test can run the whole program many times in one process.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/image.h"
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
    // The one box the user may still change while the batch runs, read
    // when it ends; empty = not ticked.
    std::function<bool()> openFolderWanted;
};

// How the UI thread holds the worker: it waits at its check points while
// Paused and abandons its work when Stop is set.
enum class WorkerGate : int { Run = 0, Pause = 1, Stop = 2 };

struct Program {
    explicit Program(WindowSystem& windowSystem) : ui(windowSystem) {
        engine.pages.map = platform::mapPages;
        engine.pages.unmap = platform::unmapPages;
        engine.machine = {platform::physicalMemoryBytes(), platform::trimHeap};
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

// The product name used in captions and messages.
constexpr const char* ProductName = "Tarvolin";
constexpr const char* VersionText = "2.5.1";

}  // namespace tv
