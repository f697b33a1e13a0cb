#include "ui/contract_rules.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tv {

bool EventQueue::push(const Event& e) {
    if (!events_.empty() && events_.back() == e) return false;
    events_.push_back(e);
    return true;
}

Event EventQueue::take() {
    if (events_.empty()) return Event{};
    Event e = events_.front();
    events_.pop_front();
    if (e.kind == EventKind::Gadget) lastGadget_ = e.gadget;
    return e;
}

MessageButtons messageButtons(unsigned type) {
    switch (type & mb::ButtonMask) {
    case mb::YesNoCancel: return MessageButtons::YesNoCancel;
    case mb::YesNo: return MessageButtons::YesNo;
    default: return MessageButtons::Ok;
    }
}

MessageIcon messageIcon(unsigned type) {
    switch (type & mb::IconMask) {
    case mb::IconError: return MessageIcon::Error;
    case mb::IconWarning: return MessageIcon::Warning;
    default: return MessageIcon::None;
    }
}

int closedAnswer(unsigned type) {
    switch (messageButtons(type)) {
    case MessageButtons::YesNoCancel: return answer::Cancel;
    case MessageButtons::YesNo: return answer::No;
    case MessageButtons::Ok: break;
    }
    return answer::Ok;
}

bool requesterDisables(int window, bool visible, int owner, bool askedOnUiThread) {
    return (owner != 0 && window == owner) || (askedOnUiThread && visible);
}

namespace {

// How much of a folder text is its root: "/" or a drive such as "C:/".
std::size_t rootLength(std::string_view folder) {
    if (!folder.empty() && folder[0] == FolderSeparator) return 1;
    if (folder.size() >= 3 && folder[1] == ':' && folder[2] == FolderSeparator) return 3;
    return 0;
}

}  // namespace

std::string chooserStartFolder(std::string_view initialFolder) {
    std::string folder(initialFolder);
    if (folder.size() > rootLength(folder) && folder.back() == FolderSeparator) folder.pop_back();
    return folder;
}

std::string chosenFolder(std::string path) {
    if (!path.empty() && path.back() != FolderSeparator) path += FolderSeparator;
    return path;
}

bool windowSizeValid(int innerWidth, int innerHeight) { return innerWidth >= 0 && innerHeight >= 0; }

int insertionIndex(int position, int count) { return position < 0 || position > count ? count : position; }

std::vector<std::string> rowColumns(std::string_view text) {
    std::vector<std::string> columns;
    for (;;) {
        std::size_t end = text.find('\n');
        columns.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos) return columns;
        text.remove_prefix(end + 1);
    }
}

int Range::clamp(int value) const { return std::clamp(value, lo, hi); }

Range rangeOf(int minimum, int maximum) { return Range{std::min(minimum, maximum), std::max(minimum, maximum)}; }

std::optional<long long> wholeNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    // Accumulated towards the sign, so that the most negative value fits too.
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        int digit = c - '0';
        if (negative) {
            if (value < (std::numeric_limits<long long>::min() + digit) / 10) return std::nullopt;
            value = value * 10 - digit;
        } else {
            if (value > (std::numeric_limits<long long>::max() - digit) / 10) return std::nullopt;
            value = value * 10 + digit;
        }
    }
    return value;
}

int spinValue(std::string_view text, Range range, int lastValue) {
    std::optional<long long> typed = wholeNumber(text);
    if (!typed) return lastValue;
    return static_cast<int>(std::clamp<long long>(*typed, range.lo, range.hi));
}

std::string spinText(int value) { return std::to_string(value); }

std::string clipTitle(std::string title, std::size_t maxBytes) {
    if (title.size() <= maxBytes) return title;
    std::size_t cut = maxBytes;
    // Step back over continuation bytes so a character is not split.
    while (cut > 0 && (static_cast<unsigned char>(title[cut]) & 0xC0) == 0x80) --cut;
    title.resize(cut);
    return title;
}

bool fontRequestValid(std::string_view name, int points) { return !name.empty() && points > 0; }

int fontPixelHeight(int points, double dpi) { return std::max(1, static_cast<int>(std::lround(points * dpi / 72.0))); }

}  // namespace tv
