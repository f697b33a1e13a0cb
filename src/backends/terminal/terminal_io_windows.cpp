#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <io.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "backends/terminal/terminal_io.h"

namespace tv::terminal {

// A console read cannot be waited on together with anything else, so one
// thread of its own reads and hands the bytes over. It is left behind at
// the end, still waiting on the console: the state it uses is shared, so
// it outlives the window system.
struct Io::State {
    HANDLE in = INVALID_HANDLE_VALUE;
    int out = -1;
    std::mutex m;
    std::condition_variable changed;
    std::string bytes;
    bool ended = false, woken = false, reading = false;
};

namespace {

void readForever(std::shared_ptr<Io::State> s) {
    // A console gives UTF-16: read it as such and hand on UTF-8.
    DWORD mode = 0;
    const bool console = GetConsoleMode(s->in, &mode) != 0;
    for (;;) {
        std::string got;
        bool ok = false;
        if (console) {
            wchar_t wide[512];
            DWORD n = 0;
            ok = ReadConsoleW(s->in, wide, 512, &n, nullptr) && n > 0;
            if (ok) {
                int len = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
                got.resize(static_cast<std::size_t>(len > 0 ? len : 0));
                if (len > 0) WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(n), got.data(), len, nullptr, nullptr);
                // Ctrl+Z then Enter is the console's end of input.
                if (got.rfind("\x1a", 0) == 0) ok = false;
            }
        } else {
            char buf[512];
            DWORD n = 0;
            ok = ReadFile(s->in, buf, sizeof buf, &n, nullptr) && n > 0;
            if (ok) got.assign(buf, n);
        }
        std::lock_guard lock(s->m);
        if (!ok) {
            s->ended = true;
            s->changed.notify_all();
            return;
        }
        s->bytes += got;
        s->changed.notify_all();
    }
}

}  // namespace

Io::Io(int in, int out) : state_(std::make_shared<State>()) {
    state_->out = out;
    if (in >= 0) state_->in = reinterpret_cast<HANDLE>(_get_osfhandle(in));
    if (state_->in == INVALID_HANDLE_VALUE) state_->ended = true;
}

Io::~Io() = default;

Io::Got Io::read(std::string& text) {
    std::unique_lock lock(state_->m);
    if (!state_->reading && !state_->ended) {
        // Started at the first question only: a run without one never reads.
        state_->reading = true;
        std::thread(readForever, state_).detach();
    }
    state_->changed.wait(lock, [this] { return state_->woken || state_->ended || !state_->bytes.empty(); });
    if (state_->woken) return Got::Woken;
    if (!state_->bytes.empty()) {
        text += state_->bytes;
        state_->bytes.clear();
        return Got::Data;
    }
    return Got::End;
}

void Io::wake() {
    std::lock_guard lock(state_->m);
    state_->woken = true;
    state_->changed.notify_all();
}

void Io::write(std::string_view text) {
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(state_->out));
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    if (GetConsoleMode(h, &mode)) {
        // A console takes UTF-16, whatever its code page.
        int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
        if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
        DWORD done = 0;
        WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &done, nullptr);
        return;
    }
    std::size_t at = 0;
    while (at < text.size()) {
        DWORD done = 0;
        if (!WriteFile(h, text.data() + at, static_cast<DWORD>(text.size() - at), &done, nullptr) || done == 0) return;
        at += done;
    }
}

}  // namespace tv::terminal
#endif
