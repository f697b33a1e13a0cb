// The command line's own texts, in the program's two languages. The
// questions, the ratio and mask messages come from the message table, as in
// the windows; these are only what a terminal needs besides.
#pragma once

#include <string>
#include <string_view>

namespace tv::cli {

// The text of key in French or English; "" for an unknown key. "%" and
// "#" markers are replaced by the caller.
std::string text(bool french, std::string_view key);
// The whole --help text.
std::string_view helpText(bool french);

}  // namespace tv::cli
