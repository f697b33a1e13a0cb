#pragma once

#include <string>

#include "shell/program.h"

namespace tv {

bool validateCompressionOptions(Program& p);
std::string buildOutputTemplate(Program& p, const std::string& outputExtension);
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace tv
