// A headless window system for tests: an in-memory model of windows,
// gadgets, events and requesters that honours the windowing contract, plus a
// driver API through which a test plays the user.
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
#include <string_view>
#include <thread>
#include <vector>

#include "ui/contract_rules.h"
#include "ui/window_system.h"

namespace tv {

// One requester as it was shown and answered.
struct RequesterRecord {
    RequesterKind kind = RequesterKind::MessageBox;
    std::string title;
    std::string text;         // message text, or the input box prompt
    unsigned type = 0;        // message box buttons | icon
    std::string defaultText;  // input box default text, or the chooser's initial folder
    int answer = 0;           // message box answer
    std::string answerText;   // chooser or input box answer
    bool fromOtherThread = false;    // asked from a thread other than the UI thread
    int ownerWindow = 0;             // program window in the foreground when asked, 0 = none
    bool ownerDisabled = false;      // that window was disabled while the requester was open
    bool afterShutdown = false;      // answered at once because shutdown() had been called
};

// What a scripted answer provider decides.
struct RequesterAnswer {
    int answer = 0;
    std::string text;
};

class ScriptedWindowSystem : public WindowSystem {
public:
    ScriptedWindowSystem();
    ~ScriptedWindowSystem() override;

    // ---- the contract ----
    bool openWindow(int id, int x, int y, int innerWidth, int innerHeight, std::string_view title,
                    unsigned flags) override;
    void hideWindow(int id, bool hide) override;
    void setWindowTitle(int id, std::string_view title) override;
    std::string windowTitle(int id) override;
    void activateWindow(int id) override;

    bool frameGadget(int id, Rect r, std::string_view caption) override;
    bool textGadget(int id, Rect r, std::string_view caption, Align align) override;
    bool stringGadget(int id, Rect r, std::string_view text) override;
    bool buttonGadget(int id, Rect r, std::string_view caption) override;
    bool checkBoxGadget(int id, Rect r, std::string_view caption) override;
    bool comboGadget(int id, Rect r) override;
    bool listGadget(int id, Rect r, std::string_view firstColumnTitle, int firstColumnWidth,
                    unsigned flags) override;
    bool spinGadget(int id, Rect r, int minimum, int maximum, unsigned flags) override;
    bool progressBarGadget(int id, Rect r, int minimum, int maximum) override;

    std::string getText(int id) override;
    void setText(int id, std::string_view text) override;
    int getState(int id) override;
    void setState(int id, int value) override;
    void addItem(int id, int position, std::string_view text) override;
    void addColumn(int id, int position, std::string_view title, int width) override;
    int getItemState(int id, int rowIndex) override;
    void setItemState(int id, int rowIndex, int bits) override;
    std::string getItemText(int id, int rowIndex, int column) override;
    int countItems(int id) override;
    void disableGadget(int id, bool disable) override;
    void hideGadget(int id, bool hide) override;
    void setFocus(int id) override;
    void setToolTip(int id, std::string_view text) override;
    void setFont(int id, FontId font) override;
    void setColour(int id, int which, Colour colour) override;

    FontId loadFont(std::string_view name, int points, bool bold) override;

    Event waitEvent(int timeoutMs) override;
    int eventGadget() override;

    int messageBox(std::string_view title, std::string_view text, unsigned type) override;
    std::string folderChooser(std::string_view title, std::string_view initialFolder) override;
    std::string inputBox(std::string_view title, std::string_view prompt, std::string_view defaultText) override;

    std::string clipboardText() override;
    void shutdown() override;
    std::uint32_t tickCount() override;
    std::vector<TopLevelWindow> topLevelWindows() override;

    bool gadgetExists(int id) override;
    bool isGadgetDisabled(int id) override;
    bool isGadgetHidden(int id) override;
    bool isWindowVisible(int id) override;

    // ---- driver: the user's actions. Each returns false when the user
    // could not do it (no such gadget, wrong kind, disabled or hidden gadget,
    // hidden or disabled window, row out of range). ----
    bool click(int gadget);                            // button; check box toggles first
    bool typeText(int gadget, std::string_view text);  // string field or spin edit part
    bool selectComboRow(int combo, int row);
    bool selectRow(int list, int row);                 // clicks a row: selects it alone
    bool clickBelowRows(int list);                     // clicks the empty area: no selection
    bool tickRow(int list, int row, bool ticked);
    bool setSpinText(int spin, std::string_view text);  // typing into the spin: text only
    bool stepSpin(int spin, int delta);                 // the arrows: value within the range
    bool closeWindow(int window);                       // the close box
    void queueEvent(const Event& event);                // raw, duplicates still merge
    void setClipboard(std::string text);
    // A window of another program; front = put it before every window.
    void addDesktopWindow(std::string title, bool visible, bool toolWindow, bool front = false);

    // ---- requesters ----
    // FIFOs of scripted answers; used in order, one per requester of the kind.
    void pushAnswer(int messageBoxAnswer);
    void pushTextAnswer(std::string text);  // folder chooser and input box
    // Decides answers before the FIFOs; nullopt falls through to them. Called
    // without the model lock, from the asking thread.
    void setAnswerProvider(std::function<std::optional<RequesterAnswer>(const RequesterRecord&)> provider);
    // While held, every requester stays open until holdRequesters(false) or shutdown().
    void holdRequesters(bool hold);
    int openRequesterCount();
    // Waits (real time) until at least count requesters are open.
    bool waitForOpenRequesters(int count, int timeoutMs);
    std::vector<RequesterRecord> requesterLog();
    bool isShutDown();

    // ---- events and time ----
    // Called by waitEvent, without the lock, whenever the queue is empty.
    void setIdleCallback(std::function<void()> callback);
    // True once waitEvent(NoLimit) found nothing left to deliver.
    bool starved();
    std::size_t pendingEvents();
    void setTickOffset(std::int64_t offsetMs);  // added to the steady clock
    void freezeTicks(std::uint32_t value);      // tickCount answers value until advanced
    void advanceTicks(std::uint32_t ms);        // frozen value or offset moves on
    void unfreezeTicks();

    // ---- inspection ----
    struct FontInfo {
        std::string name;
        int points = 0;
        bool bold = false;
    };
    FontInfo fontInfo(FontId font);
    std::optional<Rect> windowRect(int id);
    unsigned windowFlags(int id);
    bool isWindowDisabled(int id);
    int activeWindow();  // front-most visible program window, 0 = none
    std::optional<GadgetKind> gadgetKind(int id);
    int gadgetWindow(int id);
    std::optional<Rect> gadgetRect(int id);
    std::string toolTip(int id);
    FontId gadgetFont(int id);
    std::optional<Colour> gadgetColour(int id, int which);
    Align textAlign(int id);
    std::vector<std::string> columnTitles(int id);
    std::pair<int, int> gadgetRange(int id);  // spin and progress bar
    int focusedGadget();

private:
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
    struct ZEntry {
        bool program = true;
        int window = 0;           // program window id
        TopLevelWindow desktop;   // a window of another program
    };

    Gadget* find(int id);
    Window* findWindow(int id);
    bool addGadget(Gadget g);
    void push(const Event& e);
    void bringToFront(int window);
    int foregroundWindow();
    bool userCanReach(const Gadget* g);
    void gadgetEvent(const Gadget& g, int why);
    void selectOnly(Gadget& list, int row);
    RequesterAnswer ask(RequesterRecord record);

    std::mutex m_;
    std::condition_variable eventArrived_;
    std::condition_variable requesterChanged_;
    std::thread::id uiThread_;
    std::map<int, Window> windows_;
    std::map<int, Gadget> gadgets_;
    std::vector<ZEntry> zorder_;  // front first
    int currentWindow_ = 0;
    EventQueue events_;
    int focus_ = 0;
    std::string clipboard_;
    std::vector<FontInfo> fonts_;
    std::function<void()> idle_;
    bool starved_ = false;
    bool shutdown_ = false;
    bool hold_ = false;
    int openRequesters_ = 0;
    std::deque<int> answers_;
    std::deque<std::string> textAnswers_;
    std::function<std::optional<RequesterAnswer>(const RequesterRecord&)> provider_;
    std::vector<RequesterRecord> log_;
    std::chrono::steady_clock::time_point start_;
    std::int64_t tickOffset_ = 0;
    bool ticksFrozen_ = false;
    std::uint32_t frozenTicks_ = 0;
};

}  // namespace tv
