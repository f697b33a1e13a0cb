#include "options/scale_ratio.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <system_error>

#include "shell/regex.h"
#include "shell/text.h"

namespace tv {

namespace {

// The patterns' "$" also matches before one final line feed (what a paste
// often brings along), so a checked text may end with it; the conversion
// reads the digits and stops there.
std::string_view withoutFinalLineFeed(std::string_view text) {
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    return text;
}

// Digits only (already checked); false when the value does not fit a signed
// 32-bit integer, so that an over-long number is refused instead of wrapping.
bool toInt32(std::string_view checked, std::int32_t& value) {
    const std::string_view digits = withoutFinalLineFeed(checked);
    const char* first = digits.data();
    const char* last = first + digits.size();
    auto [ptr, ec] = std::from_chars(first, last, value, 10);
    return ec == std::errc() && ptr == last;
}

// n / d rounded once, to the nearest float (ties to even). Going through a
// double rounds twice, and a quotient just above a float's halfway point
// (1073741887/1073741823) would come out as the value below it.
float exactQuotient(std::uint32_t n, std::uint32_t d) {
    if (n == 0) return 0.0f;
    // Long division to 25 significant bits (24 kept and the rounding bit);
    // every bit beyond them only counts as "something more".
    std::uint64_t q = n / d;
    std::uint64_t r = n % d;
    int exponent = 0;
    while (q < (1u << 24)) {
        r <<= 1;
        q <<= 1;
        if (r >= d) {
            r -= d;
            q |= 1;
        }
        --exponent;
    }
    bool more = r != 0;
    while (q >= (1u << 25)) {
        more = more || (q & 1) != 0;
        q >>= 1;
        ++exponent;
    }
    const bool roundingBit = (q & 1) != 0;
    std::uint64_t kept = q >> 1;
    if (roundingBit && (more || (kept & 1) != 0)) ++kept;
    return std::ldexp(static_cast<float>(kept), exponent + 1);
}

// One decimal and a '.' whatever the user's locale: to_chars never looks at it.
std::string oneDecimal(float v) {
    char buf[64];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 1);
    if (ec != std::errc()) return "0.0";
    return std::string(buf, ptr);
}

struct Fraction {
    int numerator;
    int denominator;
};

// Factors of the preset rows 1..10 of Combo.Size, as their labels show them.
constexpr Fraction Presets[11] = {{1, 1}, {1, 5}, {1, 4}, {1, 3}, {1, 2}, {2, 3},
                                  {1, 1}, {3, 2}, {2, 1}, {3, 1}, {4, 1}};

constexpr const char* PresetLabels[11] = {"",          " 20%: 1/5", " 25%: 1/4", " 33%: 1/3",
                                          " 50%: 1/2", " 66%: 2/3", "100%: 1/1", "150%: 3/2",
                                          "200%: 2/1", "300%: 3/1", "400%: 4/1"};

}  // namespace

std::string_view presetLabel(int row) { return (row >= 1 && row <= 10) ? PresetLabels[row] : ""; }

int presetRowOf(std::string_view text) {
    const std::string wanted = trimSpaces(text);
    for (int row = 1; row <= 10; ++row)
        if (!wanted.empty() && trimSpaces(PresetLabels[row]) == wanted) return row;
    return 0;
}

float presetScale(int row) {
    if (row < 1 || row > 10) return 1.0f;
    return static_cast<float>(Presets[row].numerator) / static_cast<float>(Presets[row].denominator);
}

bool isInteger(std::string_view text) { return regexMatch("^\\d+$", text); }

bool isDecimal(std::string_view text) { return regexMatch("^\\d+(\\,|\\.)?\\d+$", text); }

std::string percentText(float ratio) { return oneDecimal(ratio * 100.0f); }

RatioParse parseRatioText(std::string_view field) {
    auto refused = [](const char* key) { return RatioParse{false, 0.0f, key}; };
    const std::string whole = trimSpaces(field);
    const std::string_view text = whole;

    float ratio = 0.0f;
    const std::size_t slash = text.find('/');
    if (slash != std::string_view::npos && text.find('/', slash + 1) == std::string_view::npos) {
        const std::string num = trimSpaces(text.substr(0, slash));
        const std::string den = trimSpaces(text.substr(slash + 1));
        if (!isInteger(num) || !isInteger(den)) return refused("Info.NewSize.Error2");
        std::int32_t n = 0, d = 0;
        if (!toInt32(num, n) || !toInt32(den, d)) return refused("Info.NewSize.Error2");
        if (d == 0) return refused("Info.NewSize.Error1");
        ratio = exactQuotient(static_cast<std::uint32_t>(n), static_cast<std::uint32_t>(d));
    } else if (!text.empty() && text.back() == '%') {
        const std::string num = trimSpaces(text.substr(0, text.size() - 1));
        if (!isInteger(num)) return refused("Info.NewSize.Error4");
        std::int32_t n = 0;
        if (!toInt32(num, n)) return refused("Info.NewSize.Error4");
        if (n < 1) return refused("Info.NewSize.Error3");
        ratio = exactQuotient(static_cast<std::uint32_t>(n), 100);
    } else {
        if (!isDecimal(text)) return refused("Info.NewSize.Error5");
        std::string number(withoutFinalLineFeed(text));
        for (char& c : number)
            if (c == ',') c = '.';
        const char* first = number.data();
        const char* last = first + number.size();
        auto [ptr, ec] = std::from_chars(first, last, ratio, std::chars_format::fixed);
        const bool belowOne = number.substr(0, number.find('.')).find_first_not_of('0') == std::string::npos;
        if (ec == std::errc::result_out_of_range && belowOne) {
            // Below the smallest float: a factor of zero, as '00' is.
            ratio = 0.0f;
        } else if (ec != std::errc() || ptr != last) {
            // Too large for a float: it would become an infinite scale.
            return refused("Info.NewSize.Error5");
        }
    }
    return RatioParse{true, ratio, ""};
}

}  // namespace tv
