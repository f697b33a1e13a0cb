#pragma once

#include <cstdint>
#include <string>

#include "shell/program.h"

namespace tv {

// Fixes sourceFolder, outputExtension, compressionLevel, lists the folder
// into p.catalogue and the image list; ends the program when no image.
void buildCatalogue(Program& p);
std::string formatSize(const Program& p, std::int64_t bytes);
// Characters after the last '.', lower-cased (ASCII); "" when none.
std::string fileExtension(const std::string& name);

}  // namespace tv
