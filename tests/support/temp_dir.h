// A fresh folder per test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <random>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace tvtest {

class TempDir {
public:
    TempDir() {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec) return;
#ifdef _WIN32
        // No mkdtemp: a random name, taken only when no folder had it yet.
        std::random_device random;
        for (int tries = 0; tries < 100 && path_.empty(); ++tries) {
            const std::filesystem::path p = base / ("tarvolin-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(p, ec)) path_ = p.string();
        }
#else
        std::string pattern = (base / "tarvolin-test-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
#endif
    }
    ~TempDir() {
        if (path_.empty()) return;
        std::error_code ec;
        // Give back write access first so a test that locked a folder still cleans up.
        const auto writable = std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                          std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                          std::filesystem::perms::others_exec;
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec)) std::filesystem::permissions(it->path(), writable, ec);
#ifdef _WIN32
            // A read-only file cannot be deleted there.
            else
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                             std::filesystem::perm_options::add, ec);
#endif
        }
        std::filesystem::permissions(path_, writable, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    // path/name
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // path/ (ending with the separator, as the program's folder texts do)
    std::string folder() const { return path_ + "/"; }
    // A folder made inside, ending with the separator.
    std::string sub(const std::string& name) const {
        std::string s = folder() + name + "/";
#ifdef _WIN32
        std::error_code ec;
        std::filesystem::create_directory(path_ + "/" + name, ec);
#else
        mkdir(s.c_str(), 0755);
#endif
        return s;
    }

    std::string write(const std::string& name, const std::string& content) const {
        std::string p = file(name);
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        return p;
    }

private:
    std::string path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#ifdef _WIN32
// The C runtime's environment, which getenv reads; an empty value removes.
inline void setenv(const char* name, const char* value, int) { _putenv_s(name, value); }
inline void unsetenv(const char* name) { _putenv_s(name, ""); }
#endif

// Sets an environment variable for the scope of a test and restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

}  // namespace tvtest
