// Sets the locale variables for one test and restores them afterwards.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tvtest {

class LocaleEnv {
public:
    explicit LocaleEnv(const char* value) {
        for (const char* v : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* old = std::getenv(v);
            saved_.push_back({v, old ? std::optional<std::string>(old) : std::nullopt});
            setenv(v, value, 1);
        }
    }
    ~LocaleEnv() {
        for (auto& [name, old] : saved_) {
            if (old)
                setenv(name, old->c_str(), 1);
            else
                unsetenv(name);
        }
    }
    LocaleEnv(const LocaleEnv&) = delete;
    LocaleEnv& operator=(const LocaleEnv&) = delete;

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

}  // namespace tvtest
