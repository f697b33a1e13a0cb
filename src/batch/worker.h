// The compression worker: runs on its own thread for one batch.
#pragma once

#include <string>

#include "shell/program.h"

namespace tv {

// The thread body. Sets p.WorkerFinished as its last act.
int RunBatch(Program& p, std::string outputTarget);
int NumberWidth(int start, int entryCount);
std::string ExpandFileNameMask(const std::string& text, int number, int width);

}  // namespace tv
