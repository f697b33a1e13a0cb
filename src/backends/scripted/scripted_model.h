// The scripted backend's in-memory windows, gadgets, event queue and
// requesters, and the steps the contract and the probe both take on them.
// Every member is used with mu held, unless it says otherwise.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "backends/scripted/scripted_probe.h"
#include "ui/contract_rules.h"
#include "ui/window_system.h"

namespace tv::scripted {

struct Row {
    std::vector<std::string> columns;
    int bits = 0;
};

struct Column {
    std::string title;
    int width = 0;
};

struct Gadget {
    int id = 0;
    GadgetKind kind = GadgetKind::Frame;
    int window = 0;
    Rect rect;
    std::string text;
    int state = 0;  // a spin's: the value last set or stepped to
    bool disabled = false;
    bool hidden = false;
    std::string toolTip;
    FontId font = 0;
    std::optional<Colour> textColour, backColour;
    Align align = Align::Left;
    std::vector<std::string> items;  // combo rows
    std::vector<Row> rows;           // list rows
    std::vector<Column> columns;
    Range range;  // spin and progress bar
    unsigned flags = 0;
};

struct Window {
    int id = 0;
    Rect rect;
    std::string title;
    unsigned flags = 0;
    bool visible = false;
    int disableCount = 0;  // open requesters that disable it
};

// One place in the desktop's z-order.
struct ZEntry {
    bool program = true;
    int window = 0;          // program window id
    TopLevelWindow desktop;  // a window of another program
};

class Model {
public:
    Model();

    Gadget* find(int id);
    Window* findWindow(int id);
    bool addGadget(Gadget g);  // to the window opened last
    void push(const Event& e);
    void gadgetEvent(const Gadget& g, int why);
    void bringToFront(int window);
    int foregroundWindow();  // 0 when another program's window is in front
    int frontVisibleWindow();
    bool userCanReach(const Gadget* g);
    void selectOnly(Gadget& list, int row);
    static bool hasRow(const Gadget& list, int row);
    static int spinValueOf(const Gadget& spin);
    std::uint32_t ticksNow();

    // Shows a requester and waits for its answer; called without mu.
    RequesterAnswer ask(RequesterRecord record);

    std::mutex mu;
    std::condition_variable eventArrived;
    std::condition_variable requesterChanged;
    const std::thread::id uiThread;
    std::map<int, Window> windows;
    std::map<int, Gadget> gadgets;
    std::vector<ZEntry> zorder;  // front first
    int currentWindow = 0;
    EventQueue events;
    int focus = 0;
    std::string clipboard;
    std::vector<ScriptedProbe::FontInfo> fonts;
    std::function<void()> idle;
    bool starved = false;
    bool shutDown = false;
    bool hold = false;
    int openRequesters = 0;
    std::deque<int> answers;
    std::deque<std::string> textAnswers;
    std::function<std::optional<RequesterAnswer>(const RequesterRecord&)> provider;
    std::vector<RequesterRecord> log;
    std::vector<LanguageChoice> languages;
    const std::chrono::steady_clock::time_point start;
    std::int64_t tickOffset = 0;
    bool ticksFrozen = false;
    std::uint32_t frozenTicks = 0;
};

}  // namespace tv::scripted
