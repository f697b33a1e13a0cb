// The terminal's bytes in and out, for its window system: a read that
// shutdown can cut short from another thread, and a write that never
// stops a question when nobody reads.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tv::terminal {

class Io {
public:
    // in -1: there is no input; every read ends at once.
    Io(int in, int out);
    ~Io();
    Io(const Io&) = delete;
    Io& operator=(const Io&) = delete;

    enum class Got { Data, End, Woken };
    // Waits for bytes (appended to text), the input's end, or wake().
    Got read(std::string& text);
    // From any thread: the read under way, and every later one, is woken.
    void wake();
    void write(std::string_view text);

    // Each system's own; shared with a reader thread where there is one.
    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace tv::terminal
