// The program's spine: start-up, the set-up and run loops, Compress and
// Stop, from process start to the end of the one batch.
#pragma once

#include <cstdint>

#include "shell/program.h"
#include "ui/window_system.h"

namespace tv {

// Start-up up to the set-up loop: codecs, extension table, pictures folder,
// stored options, the window system's language, message table, the four
// windows, data.tvl, clipboard.
// False when the program ended on the way (p.ended is then set).
bool startUp(Program& p);

// Which set-up window is in front; events of gadgets of any other window
// are stale (queued before their window was hidden) and are ignored.
enum class SetupStage { Settings, Listing, Options, Running };

// Dispatches one set-up phase event; returns the stage that follows.
SetupStage dispatchSetupEvent(Program& p, const Event& ev, SetupStage stage);
// Waits for events without a time limit until the program ended or
// Compress was accepted; true in the latter case.
bool setupLoop(Program& p);

// Compress: validation, output target, destination folder, the open-folder
// box, the worker, then the progress window. False when the options were
// refused (the window stays) or the program ended.
bool launchCompression(Program& p);

// Stop: pauses the worker and asks; Yes ends the program, else the worker
// goes on.
void stopCompression(Program& p);

// True when the display is due: never refreshed yet, or more than 500 ms
// since the last refresh, measured on the wrapping 32-bit tick count.
bool refreshDue(bool refreshedBefore, std::uint32_t lastRefresh, std::uint32_t now);

// The run phase: 50 ms waits, the 500 ms refresh, Stop and close, until the
// worker has finished or the program ended. Always ends with endProgram.
void runLoop(Program& p);

// The whole program, from start-up to the end of the run; joins the worker
// and releases the images. Always returns 0.
int runTarvolin(Program& p);

}  // namespace tv
