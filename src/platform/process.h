// The process's terminal and the signals that ask it to stop.
#pragma once

#include <string>
#include <vector>

namespace tv::platform {

// The program's arguments after its name, in UTF-8: on Windows taken from
// the wide command line, so that any folder name arrives whole.
std::vector<std::string> commandLineArguments(int argc, char** argv);
// Lets the terminal show UTF-8 and the progress line's escape codes
// (Windows' console); elsewhere there is nothing to do.
void prepareTerminal();

// The descriptor is a terminal (0 standard input, 2 standard error).
bool isTerminal(int fd);
// Columns of the terminal on fd; 0 when unknown.
int terminalColumns(int fd);

// Interrupt, terminate and hang-up are held back in the calling thread and
// in every thread it starts afterwards, so that only waitForStopSignal sees
// them and no thread is cut off in the middle of a step. Writes to a closed
// pipe fail instead of ending the process. Call before any thread starts.
void holdStopSignals();
// Waits up to timeoutMs for one of them; its number, or 0 when none came.
int waitForStopSignal(int timeoutMs);

}  // namespace tv::platform
