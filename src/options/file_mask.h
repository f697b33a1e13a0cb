// The rename mask and the output target handed to the worker.
#pragma once

#include <string>

namespace tv {

// What the compression options window holds when Compress is pressed.
struct CompressionChoice {
    bool rename = false;
    std::string mask;  // the file-name mask, one "#"
    bool otherFolder = false;
    std::string folder;  // the other folder
};

// Empty when the choice can go ahead; else the key of the message that
// refuses it. forbidden receives, for that message's "%", the character
// that made the mask a path (the separator when none did).
std::string compressionOptionsError(const CompressionChoice& c, char& forbidden);
// The target in one of its four forms: empty, a folder ending with the
// separator, a mask with the extension, or folder and mask with it.
std::string outputTemplate(const CompressionChoice& c, const std::string& outputExtension);
// Where the outputs go: the target's folder part, else the source folder.
std::string destinationFolderOf(const std::string& outputTarget, const std::string& sourceFolder);
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace tv
