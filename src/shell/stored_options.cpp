#include "shell/stored_options.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/desktop.h"
#include "platform/files.h"
#include "windows/ids.h"
#include "shell/regex.h"

namespace tv {

namespace {

constexpr const char* OptionsFile = "data.tvl";
constexpr const char* TempFile = "temp.tmp";

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t done = write(fd, data, size);
        if (done < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

std::string replaceAll(std::string text, const std::string& marker, const std::string& with) {
    for (std::size_t pos = text.find(marker); pos != std::string::npos; pos = text.find(marker, pos + with.size()))
        text.replace(pos, marker.size(), with);
    return text;
}

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

void saveStoredOptions(Program& p) {
    const std::string path = workPath(p, OptionsFile);
    // A data.tvl the user made read-only keeps its content.
    if (platform::fileSize(path) >= 0 && access(path.c_str(), W_OK) != 0) return;
    platform::deleteFile(path);
    // No symlink is followed (the file was just removed, anything there now
    // is not ours), and a file that survived the delete is cut to size.
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return;
    const char bytes[6] = {
        static_cast<char>(p.ui.getState(id::ComboCompression) & 0xFF),
        static_cast<char>(p.ui.getState(id::CheckboxRenameImage) & 0xFF),
        static_cast<char>(p.ui.getState(id::CheckboxOtherFolder) & 0xFF),
        static_cast<char>(p.ui.getState(id::CheckboxDeleteImage) & 0xFF),
        static_cast<char>(p.ui.getState(id::CheckboxExtensionCase) & 0xFF),
        static_cast<char>(p.stored.bytes[5]),
    };
    writeAll(fd, bytes, sizeof bytes);
    close(fd);
}

bool loadMessageTable(Program& p, unsigned char languageCode) {
    const bool french = languageCode == LangFrench;
    const std::string_view block = french ? frenchBlock() : englishBlock();
    const std::string path = workPath(p, TempFile);

    // Create anew, replacing what is there; never write through a symlink.
    platform::deleteFile(path);
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    bool written = false;
    int pairs = 0;
    if (fd >= 0) {
        // A short write (full disk) would leave a truncated table: count it as a failure.
        written = writeAll(fd, block.data(), block.size());
        if (close(fd) != 0) written = false;
        if (written) pairs = p.texts.loadPairs(path, "=", trim::Key | trim::Text);
        platform::deleteFile(path);
    }
    if (written && pairs > 0) return true;

    std::string text = french ? "Veuillez lancer % depuis un répertoire avec des droits d'accès en écriture !"
                              : "Please, run % from a directoty with writing access !";
    p.ui.messageBox(ProductName, replaceAll(text, "%", ProductName), mb::Ok | mb::IconError);
    endProgram(p);
    return false;
}

}  // namespace tv
