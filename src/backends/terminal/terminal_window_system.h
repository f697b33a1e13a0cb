// The window system of a terminal: no windows at all, and the requesters
// (message box, text box) put to the person at the terminal as questions
// answered by a line. What the command line runs the worker with, so that
// its questions are the very ones the windows would show.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

#include "backends/terminal/terminal_io.h"
#include "ui/window_system.h"

namespace tv {

class TerminalWindowSystem : public WindowSystem {
public:
    // Questions are written to out and answered on in; with in -1 every
    // question is answered at once as a box closed unanswered.
    TerminalWindowSystem(int in, int out);
    ~TerminalWindowSystem() override;
    TerminalWindowSystem(const TerminalWindowSystem&) = delete;
    TerminalWindowSystem& operator=(const TerminalWindowSystem&) = delete;

    TV_WINDOW_SYSTEM_OVERRIDES

private:
    enum class Read { Line, End, ShutDown };
    Read readLine(std::string& line);
    void write(const std::string& text);
    bool isShutDown();

    terminal::Io io_;
    bool french_ = false;
    std::mutex requesterMutex_;  // one question at a time
    std::mutex stateMutex_;
    std::condition_variable shutDownChanged_;
    bool shutDown_ = false;
    std::string pending_;  // read past the end of the last answer
};

}  // namespace tv
