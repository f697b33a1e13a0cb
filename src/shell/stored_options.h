// data.tvl, the language choice and the message table load.
#pragma once

#include "shell/program.h"

namespace tv {

// 0x66 (French) or 0x65 (English) from the locale.
unsigned char detectLanguage();
// The 6 bytes of data.tvl when it is exactly 6 bytes long, else defaults
// with the detected language.
StoredOptions loadStoredOptions(const Program& p);
// Writes the five stored control states of options and the run's language.
void saveStoredOptions(Program& p, const StoredOptions& options);
// Fills p.texts through temp.tmp. On failure shows the write-access message,
// calls endProgram and returns false.
bool loadMessageTable(Program& p, unsigned char languageCode);

}  // namespace tv
