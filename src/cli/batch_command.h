// tarvolin-batch: the desktop program's batch, set up from the command line
// instead of the windows and run by the same worker, placement and engine.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "shell/program.h"

namespace tv::cli {

// Runs the whole command; returns the exit status: 0 every ticked photo
// saved, 1 some skipped or failed, 2 bad arguments or an unusable folder,
// 128 + the signal's number when stopped by one (130 for Ctrl+C).
// p.ui is the terminal's window system; args exclude the program name.
int runBatchCommand(Program& p, const std::vector<std::string>& args);

// path with " (n)" before its extension, for the first n = 1, 2 ... for
// which taken answers false: "a/name.jpg" gives "a/name (1).jpg".
std::string nameWithFreeSuffix(const std::string& path, const std::function<bool(const std::string&)>& taken);

}  // namespace tv::cli
