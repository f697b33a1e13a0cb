#pragma once

#include <string_view>

namespace tv {

// PCRE2 with default options, searched anywhere in subject; a pattern that
// does not compile matches nothing.
bool regexMatch(std::string_view pattern, std::string_view subject);

}  // namespace tv
