#include "shell/language.h"

#include "platform/files.h"
#include "shell/text.h"

namespace tv {

int LanguageTable::loadPairs(const std::string& path, std::string_view separator, int trimFlags) {
    std::string content;
    if (!platform::readWholeFile(path, content)) return 0;
    return loadText(content, separator, trimFlags);
}

int LanguageTable::loadText(std::string_view content, std::string_view separator, int trimFlags) {
    if (separator.empty()) return 0;  // nothing could split a line
    const char splitChar = separator.front();
    int count = 0;
    std::size_t pos = 0;
    const std::size_t size = content.size();
    while (pos < size) {
        // A line ends at CR LF, lone LF, lone CR, NUL or the end of the file.
        std::size_t end = pos;
        while (end < size && content[end] != '\r' && content[end] != '\n' && content[end] != '\0') ++end;
        std::string_view line(content.data() + pos, end - pos);
        if (end < size && content[end] == '\r' && end + 1 < size && content[end + 1] == '\n')
            pos = end + 2;
        else
            pos = end + 1;

        if (line.find_first_not_of(' ') == std::string_view::npos) continue;
        std::size_t keyLength = line.find(splitChar);
        if (keyLength == std::string_view::npos) continue;
        // Measured with the whole separator although only its first
        // character was searched: a line too short for it is skipped.
        std::ptrdiff_t n = static_cast<std::ptrdiff_t>(line.size()) - static_cast<std::ptrdiff_t>(keyLength) -
                           static_cast<std::ptrdiff_t>(separator.size());
        if (n < 0) continue;
        std::string_view rawKey = line.substr(0, keyLength);
        std::string_view rawText = line.substr(line.size() - static_cast<std::size_t>(n));
        std::string key = (trimFlags & trim::Key) ? trimSpaces(rawKey) : std::string(rawKey);
        std::string text = (trimFlags & trim::Text) ? trimSpaces(rawText) : std::string(rawText);
        entries_.emplace_back(std::move(key), std::move(text));
        ++count;
    }
    return count;
}

std::string LanguageTable::lookup(std::string_view key, std::string_view fallback) const {
    for (const auto& entry : entries_)
        if (entry.first == key) return entry.second;
    return std::string(fallback);
}

}  // namespace tv
