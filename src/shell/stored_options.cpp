#include "shell/stored_options.h"

#include "platform/desktop.h"
#include "platform/files.h"
#include "shell/regex.h"
#include "shell/text.h"

namespace tv {

namespace {

constexpr const char* OptionsFile = "data.tvl";
constexpr const char* TempFile = "temp.tmp";

}  // namespace

unsigned char detectLanguage() {
    return regexMatch("(^|_)fr(_|$)", platform::localeLanguageCountry()) ? LangFrench : LangEnglish;
}

StoredOptions loadStoredOptions(const Program& p) {
    const std::string path = workPath(p, OptionsFile);
    StoredOptions options;
    std::string content;
    if (platform::fileSize(path) == 6 && platform::readWholeFile(path, content) && content.size() == 6) {
        for (int i = 0; i < 6; ++i) options.bytes[i] = static_cast<std::uint8_t>(content[i]);
        return options;
    }
    options.bytes = {5, 0, 0, 0, 1, detectLanguage()};
    return options;
}

void saveStoredOptions(Program& p, const StoredOptions& options) {
    const std::string path = workPath(p, OptionsFile);
    // A data.tvl the user made read-only keeps its content.
    if (platform::fileSize(path) >= 0 && !platform::isWritable(path)) return;
    std::string bytes(options.bytes.begin(), options.bytes.end());
    bytes[5] = static_cast<char>(p.stored.bytes[5]);
    platform::writeNewFile(path, bytes);
}

bool loadMessageTable(Program& p, unsigned char languageCode) {
    const bool french = languageCode == LangFrench;
    const std::string_view block = french ? frenchBlock() : englishBlock();
    const std::string path = workPath(p, TempFile);

    // A short write (full disk) would leave a truncated table: a failure.
    const bool written = platform::writeNewFile(path, block);
    const int pairs = written ? p.texts.loadPairs(path, "=", trim::Key | trim::Text) : 0;
    platform::deleteFile(path);
    if (written && pairs > 0) return true;

    std::string text = french ? "Veuillez lancer % depuis un répertoire avec des droits d'accès en écriture !"
                              : "Please, run % from a directoty with writing access !";
    p.ui.messageBox(ProductName, replaceAll(text, "%", ProductName), mb::Ok | mb::IconError);
    endProgram(p);
    return false;
}

}  // namespace tv
