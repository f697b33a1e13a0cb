#include "cli/arguments.h"

#include "cli/cli_texts.h"
#include "shell/language.h"
#include "shell/text.h"

namespace tv::cli {

namespace {

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool wholeNumber(const std::string& s, bool allowMinus, long long& value) {
    std::size_t i = 0;
    bool negative = false;
    if (allowMinus && i < s.size() && s[i] == '-') {
        negative = true;
        ++i;
    }
    if (i == s.size()) return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        if (v < 1'000'000'000'000'000LL) v = v * 10 + (s[i] - '0');
    }
    value = negative ? -v : v;
    return true;
}

}  // namespace

bool nameMatches(const std::string& pattern, const std::string& name) {
    // Iterative wildcard match: the last "*" is the only point to go back to.
    std::size_t p = 0, n = 0, star = std::string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || upperAscii(pattern[p]) == upperAscii(name[n]))) {
            ++p;
            ++n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

Parsed parseArguments(const std::vector<std::string>& args, bool french) {
    Parsed out;
    Request& r = out.request;
    // The language first, so that every later message speaks it.
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string value;
        if (args[i] == "--language" && i + 1 < args.size())
            value = args[i + 1];
        else if (args[i].rfind("--language=", 0) == 0)
            value = args[i].substr(11);
        else
            continue;
        if (value == "fr") {
            french = true;
            r.language = LangFrench;
        } else if (value == "en") {
            french = false;
            r.language = LangEnglish;
        }
    }
    auto fail = [&](const char* key, const std::string& subject) {
        out.error = replaceAll(text(french, key), "%", subject);
        return out;
    };

    bool folderGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0 || arg == "--") {
            if (arg == "--") {
                // Everything after it is the folder, even a name like "--x".
                if (i + 1 >= args.size()) break;
                arg = args[++i];
            }
            if (folderGiven) return fail("TwoFolders", arg);
            r.folder = arg;
            folderGiven = true;
            continue;
        }
        std::string name = arg, value;
        bool inlineValue = false;
        if (std::size_t eq = arg.find('='); eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        auto flag = [&](bool& target) {
            if (inlineValue) return false;
            target = true;
            return true;
        };
        // The value of an option: after "=" or the next argument.
        auto takeValue = [&]() -> bool {
            if (inlineValue) return true;
            if (i + 1 >= args.size()) return false;
            value = args[++i];
            return true;
        };
        auto takeNames = [&](std::vector<std::string>& list) {
            if (inlineValue) {
                list.push_back(value);
                return true;
            }
            std::size_t before = list.size();
            while (i + 1 < args.size() && args[i + 1].compare(0, 2, "--") != 0) list.push_back(args[++i]);
            return list.size() > before;
        };

        if (name == "--help") {
            if (!flag(r.help)) return fail("UnknownOption", arg);
        } else if (name == "--version") {
            if (!flag(r.version)) return fail("UnknownOption", arg);
        } else if (name == "--remove-sources") {
            if (!flag(r.removeSources)) return fail("UnknownOption", arg);
        } else if (name == "--lower-case") {
            if (!flag(r.lowerCase)) return fail("UnknownOption", arg);
        } else if (name == "--dry-run") {
            if (!flag(r.dryRun)) return fail("UnknownOption", arg);
        } else if (name == "--quiet") {
            if (!flag(r.quiet)) return fail("UnknownOption", arg);
        } else if (name == "--only" || name == "--skip") {
            if (!takeNames(name == "--only" ? r.only : r.skip)) return fail("NoNames", name);
        } else if (name == "--format" || name == "--quality" || name == "--size" || name == "--mask" ||
                   name == "--start" || name == "--to" || name == "--on-collision" || name == "--on-error" ||
                   name == "--language") {
            if (!takeValue()) return fail("MissingValue", name);
            if (name == "--format") {
                std::string upper;
                for (char c : value) upper += upperAscii(c);
                if (upper != "JPG" && upper != "PNG" && upper != "BMP") return fail("BadFormat", value);
                r.format = upper;
            } else if (name == "--quality") {
                long long q = -1;
                if (!wholeNumber(value, false, q) || q > 10) return fail("BadQuality", value);
                r.quality = static_cast<int>(q);
            } else if (name == "--size") {
                r.size = value;
            } else if (name == "--mask") {
                r.rename = true;
                r.mask = value;
            } else if (name == "--start") {
                long long s = 0;
                if (!wholeNumber(value, true, s)) return fail("BadStart", value);
                r.start = value;
            } else if (name == "--to") {
                r.otherFolder = true;
                r.to = value;
            } else if (name == "--on-collision") {
                if (value == "ask") r.onCollision = OnCollision::Ask;
                else if (value == "overwrite") r.onCollision = OnCollision::Overwrite;
                else if (value == "rename-with-suffix") r.onCollision = OnCollision::RenameWithSuffix;
                else if (value == "skip") r.onCollision = OnCollision::Skip;
                else return fail("BadCollision", value);
            } else if (name == "--on-error") {
                if (value == "ask") r.onError = OnError::Ask;
                else if (value == "skip") r.onError = OnError::Skip;
                else if (value == "stop") r.onError = OnError::Stop;
                else return fail("BadError", value);
            } else if (value != "en" && value != "fr") {
                return fail("BadLanguage", value);
            }
        } else {
            return fail("UnknownOption", arg);
        }
    }
    if (!folderGiven && !r.help && !r.version) return fail("NoFolder", "");
    return out;
}

}  // namespace tv::cli
