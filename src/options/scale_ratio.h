#pragma once

#include <string_view>

#include "shell/program.h"

namespace tv {

// Preset rows 1..10 set ScaleRatio at once; row 0 parses String.Ratio.
// True to go on; false to stay in the settings window (or the program ended).
bool chooseScaleRatio(Program& p, int row);
bool parseScaleRatio(Program& p);
bool isInteger(std::string_view text);
bool isDecimal(std::string_view text);
// The factor of preset row 1..10, single precision.
float presetScale(int row);

}  // namespace tv
