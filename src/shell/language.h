// The message table: ordered key/text pairs, first match wins.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tv {

namespace trim {
constexpr int Key = 1;
constexpr int Text = 2;
}  // namespace trim

class LanguageTable {
public:
    // Appends the pairs of a key/value text file; returns how many (0 when
    // the file cannot be opened).
    int loadPairs(const std::string& path, std::string_view separator, int trimFlags);
    // The same from text already in memory.
    int loadText(std::string_view content, std::string_view separator, int trimFlags);
    // Text of the first entry whose key equals key exactly, else fallback.
    std::string lookup(std::string_view key, std::string_view fallback = "") const;
    std::size_t size() const { return entries_.size(); }
    void clear() { entries_.clear(); }
    const std::vector<std::pair<std::string, std::string>>& entries() const { return entries_; }

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

// The built-in blocks: French then English, each line "key = text\r\n",
// the English block ending with one extra "\r\n". French is stored as UTF-8.
std::string_view frenchBlock();
std::string_view englishBlock();

constexpr unsigned char LangFrench = 0x66;
constexpr unsigned char LangEnglish = 0x65;

// The language of a language code byte as the window system names it:
// "fr" for French, "en" for anything else.
constexpr std::string_view languageTag(unsigned char code) { return code == LangFrench ? "fr" : "en"; }

}  // namespace tv
