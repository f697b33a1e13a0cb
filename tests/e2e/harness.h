// A whole program run on the scripted backend: its own working folder and
// photo folder, a recording open-folder hook, and a user script played from
// the backend's idle callback, one step at a time as the program reaches it.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "e2e_support.h"
#include "shell/ids.h"
#include "shell/program.h"
#include "ui/scripted/scripted_window_system.h"
#include "ui/windows/main_flow.h"

namespace e2e {

namespace id = tv::id;

struct Step {
    std::function<bool()> ready;  // the program is where the step acts
    std::function<void()> act;
};

class ProgramRun {
public:
    ProgramRun() : p(ui) {
        p.workDir = work.path();
        photos = work.sub("photos");
        p.picturesFolder = [this] { return picturesFolder; };
        p.openFolder = [this](const std::string& path) { opened.push_back(path); };
        picturesFolder = photos;
        ui.setIdleCallback([this] { idle(); });
    }

    // English run with the default stored options unless told otherwise.
    void storeOptions(std::vector<unsigned char> bytes) {
        writeBytes(work.path() + "data.tvl", std::string(bytes.begin(), bytes.end()));
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
    bool clean() { return !timedOut && !ui.starved(); }
    bool scriptDone() { return clean() && next == steps.size(); }

    int visibleWindow() {
        for (int w : {id::WndMain, id::WndList, id::WndCompress, id::WndProgress})
            if (ui.isWindowVisible(w)) return w;
        return 0;
    }

    TempDir work;
    std::string photos;
    std::string picturesFolder;
    tv::ScriptedWindowSystem ui;
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
        // A script that no longer matches the program must not hang the test.
        if (!timedOut && std::chrono::steady_clock::now() - started > std::chrono::seconds(60)) {
            timedOut = true;
            for (int w : {id::WndMain, id::WndList, id::WndCompress, id::WndProgress})
                if (ui.isWindowVisible(w)) ui.closeWindow(w);
        }
    }

    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

}  // namespace e2e
