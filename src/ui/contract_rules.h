// The rules of the windowing contract that hold whatever draws the windows:
// written once here, so that every backend answers alike.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/window_system.h"

namespace tv {

// What happened to a gadget (Event::cause). It only tells events apart when
// an identical one is still waiting; the program ignores it.
namespace cause {
constexpr int Click = 1;        // button or check box clicked, list row clicked
constexpr int Change = 2;       // text typed, pasted or set
constexpr int Selection = 3;    // selected row of a list or combo changed or cleared
constexpr int Tick = 4;         // check box of a list row changed
constexpr int FocusIn = 5;
constexpr int FocusOut = 6;
constexpr int PopupOpened = 7;  // a combo's list opened
constexpr int PopupClosed = 8;
constexpr int RightClick = 9;   // list row right-clicked
constexpr int DoubleClick = 10; // list row double-clicked
}  // namespace cause

// The one queue of every window's events, in order of arrival. Not locked:
// each backend guards it as it serves its threads.
class EventQueue {
public:
    // An event identical to the last one still waiting is not queued a
    // second time; false then.
    bool push(const Event& e);
    // The next event, or one of kind None when none waits. A gadget event
    // taken becomes what eventGadget answers.
    Event take();
    bool empty() const { return events_.empty(); }
    std::size_t size() const { return events_.size(); }
    int lastGadget() const { return lastGadget_; }

private:
    std::deque<Event> events_;
    int lastGadget_ = 0;
};

// ---- requesters ----

enum class RequesterKind { MessageBox, FolderChooser, InputBox };

enum class MessageButtons { Ok, YesNoCancel, YesNo };
enum class MessageIcon { None, Error, Warning };

// The buttons a box of this type shows; a set the contract does not name
// shows OK alone.
MessageButtons messageButtons(unsigned type);
MessageIcon messageIcon(unsigned type);

// What a message box answers when it is closed without a button pressed, or
// asked after shutdown: Cancel when it has a Cancel button, else No when it
// has a No button, else OK. The folder chooser and the input box answer "".
int closedAnswer(unsigned type);

// Whether a requester being opened disables this program window: its owner
// (the program window in the foreground) whichever thread asks, and every
// other visible window when the UI thread, which made them all, asks.
bool requesterDisables(int window, bool visible, int owner, bool askedOnUiThread);

// The separator every folder text of the contract ends with.
constexpr char FolderSeparator = '/';

// The folder a chooser opens at: the initial folder without its trailing
// separator, except for a root ("/", or a drive such as "C:/"), which keeps it.
std::string chooserStartFolder(std::string_view initialFolder);
// What a chooser returns for the folder picked: "" stays "" (cancelled),
// anything else ends with the separator.
std::string chosenFolder(std::string path);

// The input box: 300 x 130 pixels outside, and where its parts go.
namespace input_box {
constexpr int OuterWidth = 300;
constexpr int OuterHeight = 130;
constexpr Rect Prompt{10, 10, 280, 22};
constexpr Rect Field{10, 32, 275, 21};
constexpr Rect Ok{110, 67, 80, 25};
}  // namespace input_box

// ---- windows and gadgets ----

bool windowSizeValid(int innerWidth, int innerHeight);

// Where a new combo row, list row or list column goes: at position, or at
// the end when position is negative or past it.
int insertionIndex(int position, int count);

// The column texts of a list row, separated by line feeds; empty ones count.
std::vector<std::string> rowColumns(std::string_view text);

// The row a combo's set text selects: the first whose text is exactly it,
// or -1 when none is (the selection then stays as it was).
template <class TextOf>
int rowWithText(int count, TextOf textOf, std::string_view text) {
    for (int i = 0; i < count; ++i)
        if (textOf(i) == text) return i;
    return -1;
}

// The limits of a spin or progress bar, given in either order.
struct Range {
    int lo = 0, hi = 0;
    int clamp(int value) const;
};
Range rangeOf(int minimum, int maximum);

// A whole number: digits with an optional sign, spaces around them trimmed
// (the space character only); nothing else, and nothing too large for 64 bits.
std::optional<long long> wholeNumber(std::string_view text);

// The value of a spin: its typed text when that is a whole number, kept in
// the range; otherwise the value last set or stepped to.
int spinValue(std::string_view text, Range range, int lastValue);
// A spin shows its value as plain digits, no thousands separator.
std::string spinText(int value);

// A window title as the desktop walk reads it: at most maxBytes bytes of
// UTF-8, cut before a character rather than through it.
std::string clipTitle(std::string title, std::size_t maxBytes = 255);

// A font can be asked for only with a name and a size.
bool fontRequestValid(std::string_view name, int points);
// The height in pixels of a font of that many points on a screen of dpi
// pixels per logical inch; at least 1.
int fontPixelHeight(int points, double dpi);

// The channels of a colour given as 0x00BBGGRR.
constexpr int redOf(Colour c) { return static_cast<int>(c & 0xFF); }
constexpr int greenOf(Colour c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int blueOf(Colour c) { return static_cast<int>((c >> 16) & 0xFF); }

}  // namespace tv
