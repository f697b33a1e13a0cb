// The command line's arguments: what tarvolin-batch was asked to do.
#pragma once

#include <string>
#include <vector>

namespace tv::cli {

enum class OnCollision { Ask, Overwrite, RenameWithSuffix, Skip };
enum class OnError { Ask, Skip, Stop };

struct Request {
    std::string folder;
    std::string format = "JPG";  // JPG, PNG or BMP
    int quality = 5;
    std::string size;  // empty: no resizing
    bool rename = false;
    std::string mask;
    std::string start = "1";
    bool otherFolder = false;
    std::string to;
    bool removeSources = false;
    bool lowerCase = false;
    std::vector<std::string> only;  // empty: every photo
    std::vector<std::string> skip;
    OnCollision onCollision = OnCollision::Ask;
    OnError onError = OnError::Ask;
    int language = 0;  // 0: from the locale; else the language code byte
    bool dryRun = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

struct Parsed {
    Request request;
    // Empty when the arguments are good; else the message, in the language
    // asked for (or the locale's).
    std::string error;
};

// args: the arguments after the program name. french: the language of the
// messages when no --language is given.
Parsed parseArguments(const std::vector<std::string>& args, bool french);

// A --only or --skip name against a file name: "*" any run, "?" any one
// character, ASCII letters of either case alike (as the desktop's file
// systems compare names).
bool nameMatches(const std::string& pattern, const std::string& name);

}  // namespace tv::cli
