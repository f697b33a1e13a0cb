// The size choice: a preset row or a typed fraction, percentage or decimal
// turned into the single-precision factor applied to width and height.
#pragma once

#include <string>
#include <string_view>

namespace tv {

// A typed ratio: its factor, or the key of the message that refuses it.
struct RatioParse {
    bool ok = false;
    float ratio = 0.0f;
    const char* errorKey = "";  // when refused
};

// The text of the ratio field (as typed: spaces around it are ignored).
RatioParse parseRatioText(std::string_view field);
bool isInteger(std::string_view text);
bool isDecimal(std::string_view text);
// The factor of preset row 1..10 of the size list, single precision.
float presetScale(int row);
// The label of preset row 1..10 (" 50%: 1/2"); "" for any other row.
std::string_view presetLabel(int row);
// The preset row whose label the text is, spaces around either ignored;
// 0 when none.
int presetRowOf(std::string_view text);
// A factor as a percentage with one decimal and a '.', whatever the locale.
std::string percentText(float ratio);

}  // namespace tv
