// The windowing contract: every window, gadget, event and requester the
// program uses goes through this interface. The backends implement it: the
// Qt desktop one (backends/qt) and a headless scripted one that tests drive
// (backends/scripted). Nothing above this layer talks to a window system.
// The rules they share are in contract_rules.h; what tests read beyond the
// contract is in probe.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tv {

// Message-box type values and answers keep the Win32 numbers, because the
// program combines and compares them as numbers.
namespace mb {
constexpr unsigned Ok = 0;
constexpr unsigned YesNoCancel = 3;
constexpr unsigned YesNo = 4;
constexpr unsigned ButtonMask = 0x0F;
constexpr unsigned IconNone = 0;
constexpr unsigned IconError = 0x10;    // MB_ICONHAND
constexpr unsigned IconWarning = 0x30;  // MB_ICONEXCLAMATION
constexpr unsigned IconMask = 0xF0;
}  // namespace mb

namespace answer {
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Yes = 6;
constexpr int No = 7;
}  // namespace answer

// Window flags for openWindow.
namespace wflag {
constexpr unsigned TitleBar = 0x1;    // caption, system menu, close and minimise boxes, fixed size
constexpr unsigned Centered = 0x2;    // centred on the screen
constexpr unsigned Invisible = 0x4;   // created hidden
}  // namespace wflag

// Bits of a list row state.
namespace row {
constexpr int Selected = 1;
constexpr int Ticked = 2;
}  // namespace row

enum class Align { Left = 0, Center = 1, Right = 2 };

enum class GadgetKind { Frame, Text, String, Button, CheckBox, Combo, List, Spin, ProgressBar };

enum class EventKind { None, Gadget, CloseWindow };

struct Event {
    EventKind kind = EventKind::None;
    int window = 0;
    int gadget = 0;
    int cause = 0;  // what happened to the gadget; backends fill it, the program ignores it
    bool operator==(const Event&) const = default;
};

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const Rect&) const = default;
};

// 0x00BBGGRR, as the program gives them.
using Colour = std::uint32_t;
namespace colour_which {
constexpr int Text = 1;
constexpr int Background = 2;
}  // namespace colour_which

using FontId = int;  // 0 = no font (the default font)

// One top-level window of the desktop, as the z-order walk sees it.
struct TopLevelWindow {
    std::string title;
    bool visible = false;
    bool toolWindow = false;
};

constexpr int NoLimit = -1;

// The contract. Unless a call says otherwise it is made on the UI thread,
// the thread that created the backend.
//
// Worker-thread calls: getItemState, getText, getState, messageBox and
// inputBox may also be called from the one worker thread while the UI thread
// keeps waiting for and handling events. Backends guarantee that these calls
// are safe and that a requester opened from the worker is answered while the
// UI thread goes on running its loop.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Windows. Gadgets created afterwards belong to the window opened last.
    virtual bool openWindow(int id, int x, int y, int innerWidth, int innerHeight,
                            std::string_view title, unsigned flags) = 0;
    virtual void hideWindow(int id, bool hide) = 0;
    virtual void setWindowTitle(int id, std::string_view title) = 0;
    virtual void activateWindow(int id) = 0;

    // Gadget creation; each returns false when the gadget could not be made.
    virtual bool frameGadget(int id, Rect r, std::string_view caption) = 0;
    virtual bool textGadget(int id, Rect r, std::string_view caption, Align align) = 0;
    virtual bool stringGadget(int id, Rect r, std::string_view text) = 0;
    virtual bool buttonGadget(int id, Rect r, std::string_view caption) = 0;
    virtual bool checkBoxGadget(int id, Rect r, std::string_view caption) = 0;
    virtual bool comboGadget(int id, Rect r) = 0;
    virtual bool listGadget(int id, Rect r, std::string_view firstColumnTitle, int firstColumnWidth,
                            unsigned flags) = 0;
    virtual bool spinGadget(int id, Rect r, int minimum, int maximum, unsigned flags) = 0;
    virtual bool progressBarGadget(int id, Rect r, int minimum, int maximum) = 0;

    // Gadget access. An id that names no gadget is ignored; reads give "" or 0.
    // Setting the text of a string field counts as a change and queues its event.
    virtual std::string getText(int id) = 0;                          // worker-safe
    virtual void setText(int id, std::string_view text) = 0;
    virtual int getState(int id) = 0;                                 // worker-safe
    virtual void setState(int id, int value) = 0;
    virtual void addItem(int id, int position, std::string_view text) = 0;  // list columns split by '\n'
    virtual void addColumn(int id, int position, std::string_view title, int width) = 0;
    virtual int getItemState(int id, int rowIndex) = 0;               // worker-safe
    virtual void setItemState(int id, int rowIndex, int bits) = 0;    // replaces both bits
    virtual int countItems(int id) = 0;
    virtual void disableGadget(int id, bool disable) = 0;
    virtual void hideGadget(int id, bool hide) = 0;
    virtual void setFocus(int id) = 0;
    virtual void setToolTip(int id, std::string_view text) = 0;
    virtual void setFont(int id, FontId font) = 0;
    virtual void setColour(int id, int which, Colour colour) = 0;

    // Fonts: size in points; 0 when the font cannot be made.
    virtual FontId loadFont(std::string_view name, int points, bool bold) = 0;

    // Events of every window, in order of arrival. timeoutMs = NoLimit waits
    // for ever; otherwise an Event of kind None comes back when none arrived.
    virtual Event waitEvent(int timeoutMs) = 0;
    virtual int eventGadget() = 0;

    // Requesters, all modal; callable from the UI thread and the worker.
    virtual int messageBox(std::string_view title, std::string_view text, unsigned type) = 0;
    // Returns the chosen folder ending with '/', or "" when cancelled.
    virtual std::string folderChooser(std::string_view title, std::string_view initialFolder) = 0;
    // Enter/OK returns the field's text, Escape an empty text.
    virtual std::string inputBox(std::string_view title, std::string_view prompt,
                                 std::string_view defaultText) = 0;

    virtual std::string clipboardText() = 0;

    // The language of the texts the window system supplies itself: the
    // buttons of the message boxes, the folder chooser's labels and buttons.
    // "fr" or "en", the program's language, whatever the desktop's is. Asked
    // at start-up, before any window; a language the backend has no texts
    // for shows them in English, and nothing fails.
    virtual void useLanguage(std::string_view code) = 0;

    // Shutdown: closes every open requester with the answer of a box closed
    // unanswered (closedAnswer: Cancel, else No, else OK; chooser and input
    // box "") and answers every later requester that way at once, from any
    // thread, so a worker blocked in a question can be joined.
    virtual void shutdown() = 0;

    // Milliseconds since some start, 32 bits, wrapping.
    virtual std::uint32_t tickCount() = 0;

    // Top-level windows of the desktop in z-order, front first.
    virtual std::vector<TopLevelWindow> topLevelWindows() = 0;
};

}  // namespace tv

// Every backend declares the contract's operations with this one list, so
// that the backends cannot drift apart from the contract or each other.
#define TV_WINDOW_SYSTEM_OVERRIDES \
    bool openWindow(int id, int x, int y, int innerWidth, int innerHeight, std::string_view title, \
                    unsigned flags) override; \
    void hideWindow(int id, bool hide) override; \
    void setWindowTitle(int id, std::string_view title) override; \
    void activateWindow(int id) override; \
    bool frameGadget(int id, Rect r, std::string_view caption) override; \
    bool textGadget(int id, Rect r, std::string_view caption, Align align) override; \
    bool stringGadget(int id, Rect r, std::string_view text) override; \
    bool buttonGadget(int id, Rect r, std::string_view caption) override; \
    bool checkBoxGadget(int id, Rect r, std::string_view caption) override; \
    bool comboGadget(int id, Rect r) override; \
    bool listGadget(int id, Rect r, std::string_view firstColumnTitle, int firstColumnWidth, \
                    unsigned flags) override; \
    bool spinGadget(int id, Rect r, int minimum, int maximum, unsigned flags) override; \
    bool progressBarGadget(int id, Rect r, int minimum, int maximum) override; \
    std::string getText(int id) override; \
    void setText(int id, std::string_view text) override; \
    int getState(int id) override; \
    void setState(int id, int value) override; \
    void addItem(int id, int position, std::string_view text) override; \
    void addColumn(int id, int position, std::string_view title, int width) override; \
    int getItemState(int id, int rowIndex) override; \
    void setItemState(int id, int rowIndex, int bits) override; \
    int countItems(int id) override; \
    void disableGadget(int id, bool disable) override; \
    void hideGadget(int id, bool hide) override; \
    void setFocus(int id) override; \
    void setToolTip(int id, std::string_view text) override; \
    void setFont(int id, FontId font) override; \
    void setColour(int id, int which, Colour colour) override; \
    FontId loadFont(std::string_view name, int points, bool bold) override; \
    Event waitEvent(int timeoutMs) override; \
    int eventGadget() override; \
    int messageBox(std::string_view title, std::string_view text, unsigned type) override; \
    std::string folderChooser(std::string_view title, std::string_view initialFolder) override; \
    std::string inputBox(std::string_view title, std::string_view prompt, \
                         std::string_view defaultText) override; \
    std::string clipboardText() override; \
    void useLanguage(std::string_view code) override; \
    void shutdown() override; \
    std::uint32_t tickCount() override; \
    std::vector<TopLevelWindow> topLevelWindows() override;
