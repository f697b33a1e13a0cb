#include "options/scale_ratio.h"

#include <charconv>
#include <cstdint>
#include <string>
#include <system_error>

#include "windows/ids.h"
#include "shell/regex.h"
#include "ui/window_system.h"

namespace tv {

namespace {

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

void replaceAll(std::string& text, char marker, std::string_view with) {
    std::string out;
    out.reserve(text.size() + with.size());
    for (char c : text) {
        if (c == marker)
            out.append(with);
        else
            out.push_back(c);
    }
    text.swap(out);
}

// Digits only (already checked); false when the value does not fit a signed
// 32-bit integer, so that an over-long number is refused instead of wrapping.
bool toInt32(std::string_view digits, std::int32_t& value) {
    const char* first = digits.data();
    const char* last = first + digits.size();
    auto [ptr, ec] = std::from_chars(first, last, value, 10);
    return ec == std::errc() && ptr == last;
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

bool refuse(Program& p, const std::string& prefix, const char* errorKey) {
    showWarning(p, prefix + p.texts.lookup(errorKey), mb::Ok);
    return false;
}

}  // namespace

float presetScale(int row) {
    if (row < 1 || row > 10) return 1.0f;
    return static_cast<float>(Presets[row].numerator) / static_cast<float>(Presets[row].denominator);
}

bool isInteger(std::string_view text) { return regexMatch("^\\d+$", text); }

bool isDecimal(std::string_view text) { return regexMatch("^\\d+(\\,|\\.)?\\d+$", text); }

bool chooseScaleRatio(Program& p, int row) {
    if (row >= 1 && row <= 10) {
        p.ScaleRatio.store(presetScale(row));
        return true;
    }
    return parseScaleRatio(p);
}

bool parseScaleRatio(Program& p) {
    const std::string prefix = p.texts.lookup("Info.NewSize.ErrorPrefix") + ": ";
    const std::string field = p.ui.getText(id::StringRatio);
    const std::string_view text = trimSpaces(field);

    float ratio = 0.0f;
    const std::size_t slash = text.find('/');
    if (slash != std::string_view::npos && text.find('/', slash + 1) == std::string_view::npos) {
        const std::string_view num = trimSpaces(text.substr(0, slash));
        const std::string_view den = trimSpaces(text.substr(slash + 1));
        if (!isInteger(num) || !isInteger(den)) return refuse(p, prefix, "Info.NewSize.Error2");
        std::int32_t n = 0, d = 0;
        if (!toInt32(num, n) || !toInt32(den, d)) return refuse(p, prefix, "Info.NewSize.Error2");
        if (d == 0) return refuse(p, prefix, "Info.NewSize.Error1");
        // Both fit a double exactly, so the quotient is rounded once to double
        // and then to the nearest float.
        ratio = static_cast<float>(static_cast<double>(n) / static_cast<double>(d));
    } else if (!text.empty() && text.back() == '%') {
        const std::string_view num = trimSpaces(text.substr(0, text.size() - 1));
        if (!isInteger(num)) return refuse(p, prefix, "Info.NewSize.Error4");
        std::int32_t n = 0;
        if (!toInt32(num, n)) return refuse(p, prefix, "Info.NewSize.Error4");
        if (n < 1) return refuse(p, prefix, "Info.NewSize.Error3");
        ratio = static_cast<float>(static_cast<double>(n) / 100.0);
    } else {
        if (!isDecimal(text)) return refuse(p, prefix, "Info.NewSize.Error5");
        std::string number(text);
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
            return refuse(p, prefix, "Info.NewSize.Error5");
        }
    }

    p.ScaleRatio.store(ratio);

    std::string message = p.texts.lookup("Info.NewSize.Message") + "\r\n" + p.texts.lookup("Info.Continue");
    const float percent = ratio * 100.0f;
    replaceAll(message, '#', oneDecimal(percent));
    const int choice = showWarning(p, message, mb::YesNoCancel);
    if (choice == answer::Yes) return true;
    if (choice == answer::No) endProgram(p);
    return false;
}

}  // namespace tv
