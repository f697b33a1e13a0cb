// A whole program run on the scripted backend: its own working folder and
// photo folder, a recording open-folder hook, and a user script played from
// the backend's idle callback, one step at a time as the program reaches it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "batch/worker.h"
#include "e2e_support.h"
#include "windows/ids.h"
#include "shell/program.h"
#include "support/hang_guard.h"
#include "backends/scripted/scripted_window_system.h"
#include "windows/main_flow.h"

namespace e2e {

namespace id = tv::id;

// Holds the worker before each photo it loads until the UI thread lets one
// through, and lets the next through only once the worker has come back for
// it. How far a held batch has gone is then up to the test, not to the speed
// of the machine.
class LoadHold {
public:
    // Worker: waits until a photo is let through; false when the program
    // ended first.
    bool enter() {
        std::unique_lock lock(m_);
        waiting_ = true;
        if (!changed_.wait_for(lock, tvtest::HangGuard, [this] { return open_ || ended_; })) {
            // Nobody lets photos through any more: the hold is given up, and
            // with it every load, so that the run ends instead of hanging.
            gaveUp_ = ended_ = true;
        }
        waiting_ = false;
        bool go = open_ && !ended_;
        open_ = false;
        changed_.notify_all();
        return go;
    }
    // UI thread: lets the waiting worker load one photo. False when it is not
    // waiting: still busy with the last one, or not in the batch at all.
    bool release() {
        std::lock_guard lock(m_);
        if (!waiting_ || open_) return false;
        open_ = true;
        changed_.notify_all();
        return true;
    }
    // The worker waits between two photos, and none has been let through.
    bool holding() {
        std::lock_guard lock(m_);
        return waiting_ && !open_;
    }
    // UI thread: waits until the worker has taken the photo let through.
    bool waitTaken() {
        std::unique_lock lock(m_);
        return changed_.wait_for(lock, tvtest::HangGuard, [this] { return !open_; });
    }
    // The program ends: a waiting worker gives up at once.
    void end() {
        std::lock_guard lock(m_);
        ended_ = true;
        changed_.notify_all();
    }
    bool gaveUp() {
        std::lock_guard lock(m_);
        return gaveUp_;
    }

private:
    std::mutex m_;
    std::condition_variable changed_;
    bool waiting_ = false;
    bool open_ = false;
    bool ended_ = false;
    bool gaveUp_ = false;
};

// The scripted backend, also telling when the program shuts it down: the
// program's one way out, taken before it waits for its worker.
class ScriptedUi : public tv::ScriptedWindowSystem {
public:
    void shutdown() override {
        tv::ScriptedWindowSystem::shutdown();
        if (onShutdown) onShutdown();
    }
    std::function<void()> onShutdown;
};

struct Step {
    std::function<bool()> ready;  // the program is where the step acts
    std::function<void()> act;
};

class ProgramRun {
public:
    ProgramRun() : p(ui) {
        // Folder texts end with the program's own separator, as chosen.
        p.workDir = native(work.folder());
        photos = native(work.sub("photos"));
        p.picturesFolder = [this] { return picturesFolder; };
        p.openFolder = [this](const std::string& path) { opened.push_back(path); };
        picturesFolder = photos;
        ui.setIdleCallback([this] { idle(); });
        ui.onShutdown = [this] { loads.end(); };
    }

    // The worker loads through loads: one photo an idle pass at the most, let
    // through at the end of a pass in which no step acted, so that a batch
    // lasts at least as many passes as it has photos and a step that acts
    // sees the worker where it looked.
    void holdLoads() {
        held = true;
        ops = tv::platformFileOps();
        ops.loadImage = [this, load = ops.loadImage](auto&&... args) {
            if (tv::workerShouldStop(p) || !loads.enter()) return tv::img::ImageHandle{tv::img::NoImage};
            return load(std::forward<decltype(args)>(args)...);
        };
        p.runBatch = [this](tv::Program& program, std::string target) {
            return tv::RunBatch(program, std::move(target), ops);
        };
    }

    // English run with the default stored options unless told otherwise.
    void storeOptions(std::vector<unsigned char> bytes) {
        writeBytes(work.folder() + "data.tvl", std::string(bytes.begin(), bytes.end()));
    }

    void when(std::function<bool()> ready, std::function<void()> act) {
        steps.push_back({std::move(ready), std::move(act)});
    }
    void onWindow(int window, std::function<void()> act) {
        when([this, window] { return ui.isWindowVisible(window); }, std::move(act));
    }

    // Twelve photos of distinct sizes and dates; returns their names.
    std::vector<std::string> makePhotos(int count, int baseWidth = 64, int height = 48) {
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "IMG_%04d.jpg", i + 1);
            std::string path = photos + name;
            writeJpeg(path, baseWidth + 8 * i, height, i);
            setModificationTime(path, 1500000000L + 86400L * i);
            names.push_back(name);
        }
        return names;
    }

    int run() {
        started = std::chrono::steady_clock::now();
        result = tv::runTarvolin(p);
        return result;
    }

    // No hang guard fired and the backend never had to invent a close.
    bool clean() { return !timedOut && !ui.starved() && !loads.gaveUp(); }
    bool scriptDone() { return clean() && next == steps.size(); }

    int visibleWindow() {
        for (int w : {id::WndMain, id::WndList, id::WndCompress, id::WndProgress})
            if (ui.isWindowVisible(w)) return w;
        return 0;
    }

    TempDir work;
    std::string photos;
    std::string picturesFolder;
    ScriptedUi ui;
    LoadHold loads;
    tv::FileOps ops;
    tv::Program p;
    std::vector<std::string> opened;
    std::vector<Step> steps;
    std::size_t next = 0;
    bool timedOut = false;
    int result = -1;
    // Called on every idle pass after the steps (the run phase polls often).
    std::function<void()> everyIdle;

private:
    void idle() {
        if (everyIdle) everyIdle();
        // Steps that queue nothing (they only look) let the next one act at once.
        while (next < steps.size() && steps[next].ready()) {
            steps[next++].act();
            if (ui.pendingEvents() > 0 || p.ended) return;
        }
        if (held) loads.release();
        // A script that no longer matches the program must not hang the test.
        if (!timedOut && std::chrono::steady_clock::now() - started > tvtest::HangGuard) {
            timedOut = true;
            for (int w : {id::WndMain, id::WndList, id::WndCompress, id::WndProgress})
                if (ui.isWindowVisible(w)) ui.closeWindow(w);
        }
    }

    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    bool held = false;
};

}  // namespace e2e
