// The text rules every part of the program shares: only the space
// character is blank, markers are replaced everywhere and case-sensitively,
// only ASCII letters change case.
#pragma once

#include <string>
#include <string_view>

namespace tv {

std::string trimSpaces(std::string_view text);
// Every occurrence of marker replaced by value.
std::string replaceAll(std::string text, std::string_view marker, std::string_view value);
std::string asciiLower(std::string text);
// The integer value of a text: optional spaces and sign, then the leading
// digits; 0 when there are none; held to 32 bits.
int integerValue(std::string_view text);

}  // namespace tv
