// Reading the windows into the program's settings: the size choice and the
// folder listing at List, the options and the run settings at Compress,
// and the states data.tvl remembers. The messages that refuse a choice are
// shown here; what a choice means is decided in the options layer.
#pragma once

#include <string>

#include "shell/program.h"

namespace tv {

// List, first half: preset rows 1..10 set ScaleRatio at once; row 0 parses
// String.Ratio and asks for confirmation. True to go on; false to stay in
// the settings window (or the program ended).
bool chooseScaleRatio(Program& p, int row);
bool parseScaleRatio(Program& p);
// List, second half: fixes the source folder, format and quality, lists the
// folder into p.catalogue and the image list; ends the program when the
// folder holds no image.
void buildCatalogue(Program& p);

// Compress: the mask and the other folder checked, with their messages.
bool validateCompressionOptions(Program& p);
std::string buildOutputTemplate(Program& p, const std::string& outputExtension);
// Everything the worker reads, copied into p.run (the target and the
// destination folder are already there).
void copyRunSettings(Program& p);
// The five remembered control states as they stand.
StoredOptions storedOptionsFromWindows(const Program& p);

}  // namespace tv
