#include "backends/terminal/terminal_window_system.h"

#include <chrono>

#include "ui/contract_rules.h"

namespace tv {

namespace {

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string trimmed(const std::string& s) {
    std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return {};
    std::size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

// Boxes break their lines with CR LF or LF; a terminal wants LF.
std::string lines(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

}  // namespace

TerminalWindowSystem::TerminalWindowSystem(int in, int out) : io_(in, out) {}

TerminalWindowSystem::~TerminalWindowSystem() = default;

void TerminalWindowSystem::write(const std::string& text) { io_.write(text); }

bool TerminalWindowSystem::isShutDown() {
    std::lock_guard lock(stateMutex_);
    return shutDown_;
}

TerminalWindowSystem::Read TerminalWindowSystem::readLine(std::string& line) {
    for (;;) {
        std::size_t nl = pending_.find('\n');
        if (nl != std::string::npos) {
            line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return Read::Line;
        }
        if (isShutDown()) return Read::ShutDown;
        const terminal::Io::Got got = io_.read(pending_);
        if (got == terminal::Io::Got::Woken) return Read::ShutDown;
        if (got == terminal::Io::Got::End) {
            // The end of the input: a last line without its line feed counts.
            if (pending_.empty()) return Read::End;
            line.swap(pending_);
            pending_.clear();
            return Read::Line;
        }
    }
}

int TerminalWindowSystem::messageBox(std::string_view title, std::string_view text, unsigned type) {
    std::lock_guard one(requesterMutex_);
    const MessageButtons buttons = messageButtons(type);
    std::string choices;
    switch (buttons) {
    case MessageButtons::YesNoCancel:
        choices = french_ ? "[y] oui, [n] non, [c] annuler : " : "[y]es, [n]o, [c]ancel: ";
        break;
    case MessageButtons::YesNo: choices = french_ ? "[y] oui, [n] non : " : "[y]es, [n]o: "; break;
    default: choices = french_ ? "[Entrée] OK " : "[Enter] OK "; break;
    }
    // Clears whatever progress line the question interrupts.
    write("\r\033[K" + lines(title) + "\n" + lines(text) + "\n");
    for (;;) {
        write(choices);
        std::string line;
        Read r = readLine(line);
        if (r != Read::Line) {
            write("\n");
            return closedAnswer(type);
        }
        const std::string a = lowerAscii(trimmed(line));
        if (buttons == MessageButtons::Ok) return answer::Ok;
        if (a == "y" || a == "yes" || a == "o" || a == "oui") return answer::Yes;
        if (a == "n" || a == "no" || a == "non") return answer::No;
        if (buttons == MessageButtons::YesNoCancel && (a == "c" || a == "cancel" || a == "a" || a == "annuler"))
            return answer::Cancel;
    }
}

std::string TerminalWindowSystem::inputBox(std::string_view title, std::string_view prompt,
                                           std::string_view defaultText) {
    std::lock_guard one(requesterMutex_);
    write("\r\033[K" + lines(title) + "\n" + lines(prompt) + " " + std::string(defaultText) + "\n" +
          (french_ ? "(Entrée : garder ce nom ; Ctrl+D : aucun nom) > " : "(Enter: keep this name; Ctrl+D: no name) > "));
    std::string line;
    if (readLine(line) != Read::Line) {
        write("\n");
        return {};  // as Escape
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line.empty() ? std::string(defaultText) : line;
}

void TerminalWindowSystem::useLanguage(std::string_view code) { french_ = code == "fr"; }

void TerminalWindowSystem::shutdown() {
    {
        std::lock_guard lock(stateMutex_);
        shutDown_ = true;
    }
    shutDownChanged_.notify_all();
    io_.wake();
}

Event TerminalWindowSystem::waitEvent(int timeoutMs) {
    // No window ever sends an event: this only waits.
    std::unique_lock lock(stateMutex_);
    if (timeoutMs == NoLimit)
        shutDownChanged_.wait(lock, [this] { return shutDown_; });
    else
        shutDownChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return shutDown_; });
    return {};
}

std::uint32_t TerminalWindowSystem::tickCount() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

// A terminal has no windows: nothing can be made, read or set.
bool TerminalWindowSystem::openWindow(int, int, int, int, int, std::string_view, unsigned) { return false; }
void TerminalWindowSystem::hideWindow(int, bool) {}
void TerminalWindowSystem::setWindowTitle(int, std::string_view) {}
void TerminalWindowSystem::activateWindow(int) {}
bool TerminalWindowSystem::frameGadget(int, Rect, std::string_view) { return false; }
bool TerminalWindowSystem::textGadget(int, Rect, std::string_view, Align) { return false; }
bool TerminalWindowSystem::stringGadget(int, Rect, std::string_view) { return false; }
bool TerminalWindowSystem::buttonGadget(int, Rect, std::string_view) { return false; }
bool TerminalWindowSystem::checkBoxGadget(int, Rect, std::string_view) { return false; }
bool TerminalWindowSystem::comboGadget(int, Rect) { return false; }
bool TerminalWindowSystem::listGadget(int, Rect, std::string_view, int, unsigned) { return false; }
bool TerminalWindowSystem::spinGadget(int, Rect, int, int, unsigned) { return false; }
bool TerminalWindowSystem::progressBarGadget(int, Rect, int, int) { return false; }
std::string TerminalWindowSystem::getText(int) { return {}; }
void TerminalWindowSystem::setText(int, std::string_view) {}
int TerminalWindowSystem::getState(int) { return 0; }
void TerminalWindowSystem::setState(int, int) {}
void TerminalWindowSystem::addItem(int, int, std::string_view) {}
void TerminalWindowSystem::addColumn(int, int, std::string_view, int) {}
int TerminalWindowSystem::getItemState(int, int) { return 0; }
void TerminalWindowSystem::setItemState(int, int, int) {}
int TerminalWindowSystem::countItems(int) { return 0; }
void TerminalWindowSystem::disableGadget(int, bool) {}
void TerminalWindowSystem::hideGadget(int, bool) {}
void TerminalWindowSystem::setFocus(int) {}
void TerminalWindowSystem::setToolTip(int, std::string_view) {}
void TerminalWindowSystem::setFont(int, FontId) {}
void TerminalWindowSystem::setColour(int, int, Colour) {}
FontId TerminalWindowSystem::loadFont(std::string_view, int, bool) { return 0; }
int TerminalWindowSystem::eventGadget() { return 0; }
std::string TerminalWindowSystem::folderChooser(std::string_view, std::string_view) { return {}; }
std::string TerminalWindowSystem::clipboardText() { return {}; }
std::vector<TopLevelWindow> TerminalWindowSystem::topLevelWindows() { return {}; }

}  // namespace tv
