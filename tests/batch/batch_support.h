// Test bench for the compression worker: a window system that keeps gadget
// states and answers requesters from a script, a program with real decoders
// and encoders and English texts, temporary folders and generated photos.
#pragma once

#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "batch/placement.h"
#include "batch/worker.h"
#include "imaging/image.h"
#include "shell/program.h"
#include "shell/stored_options.h"
#include "support/files.h"
#include "support/jpeg_write.h"
#include "support/codecs.h"
#include "support/temp_dir.h"
#include "backends/scripted/scripted_window_system.h"
#include "ui/window_system.h"

namespace batchtest {

// One requester as the worker asked it.
struct Request {
    enum Kind { Message, Input } kind = Message;
    std::string title;
    std::string text;  // message text or input prompt
    unsigned type = 0;
    std::string defaultText;
};

// The scripted backend with an ordered script of answers (message boxes and
// input boxes mixed, each with an optional action run before it is given).
// An unscripted requester is a test failure and gets the backend's giving-up
// answer (Cancel, or No without Cancel; "" for input), so a mistake cannot
// make the worker loop for ever.
class Ui : public tv::ScriptedWindowSystem {
public:
    struct Answer {
        int button = 0;
        std::string text;
        std::function<void()> action;
    };

    bool failOnUnscripted = true;
    // Answers message boxes once the script is used up, when set (input
    // boxes then get their default text back).
    std::function<int(const Request&)> policy;

    Ui() {
        setAnswerProvider([this](const tv::RequesterRecord& r) -> std::optional<tv::RequesterAnswer> {
            Request q = toRequest(r);
            Answer a;
            {
                std::lock_guard<std::mutex> l(m_);
                if (script_.empty()) {
                    if (policy) {
                        if (q.kind == Request::Input) return tv::RequesterAnswer{0, q.defaultText};
                        return tv::RequesterAnswer{policy(q), ""};
                    }
                    if (failOnUnscripted) ADD_FAILURE() << "unscripted requester: " << q.title << " / " << q.text;
                    return std::nullopt;
                }
                a = script_.front();
                script_.pop_front();
            }
            if (a.action) a.action();
            return tv::RequesterAnswer{a.button, a.text};
        });
    }

    void answer(int button, std::function<void()> action = {}) {
        std::lock_guard<std::mutex> l(m_);
        script_.push_back({button, "", std::move(action)});
    }
    void answerText(std::string text, std::function<void()> action = {}) {
        std::lock_guard<std::mutex> l(m_);
        script_.push_back({0, std::move(text), std::move(action)});
    }
    std::vector<Request> log() {
        std::vector<Request> out;
        for (const tv::RequesterRecord& r : requesterLog()) out.push_back(toRequest(r));
        return out;
    }
    std::vector<Request> messages(unsigned type) {
        std::vector<Request> out;
        for (const Request& r : log())
            if (r.kind == Request::Message && r.type == type) out.push_back(r);
        return out;
    }

private:
    static Request toRequest(const tv::RequesterRecord& r) {
        Request q;
        q.kind = r.kind == tv::RequesterKind::InputBox ? Request::Input : Request::Message;
        q.title = r.title;
        q.text = r.text;
        q.type = r.type;
        q.defaultText = r.defaultText;
        return q;
    }
    std::mutex m_;
    std::deque<Answer> script_;
};

// ---- files ----------------------------------------------------------------

using tvtest::exists;
using tvtest::listNames;
using tvtest::makeFolder;
using tvtest::native;
using tvtest::readBytes;
using tvtest::setModificationTime;
using tvtest::writeBytes;

inline std::vector<std::string> hiddenNames(const std::string& folder) {
    std::vector<std::string> out;
    for (const std::string& n : listNames(folder))
        if (!n.empty() && n[0] == '.') out.push_back(n);
    return out;
}

// Another program holding a file open for writing (a file manager still
// copying it in) for as long as this lives.
class WriterHolding {
public:
#ifdef _WIN32
    // As a copying program opens it: writing, others may only read.
    explicit WriterHolding(const std::string& path)
        : h_(CreateFileW(tvtest::fsPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr)) {
        EXPECT_NE(h_, INVALID_HANDLE_VALUE) << path;
    }
    ~WriterHolding() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
#else
    explicit WriterHolding(const std::string& path) : fd_(open(path.c_str(), O_WRONLY | O_CLOEXEC)) {
        EXPECT_GE(fd_, 0) << path;
    }
    ~WriterHolding() {
        if (fd_ >= 0) close(fd_);
    }
#endif
    WriterHolding(const WriterHolding&) = delete;
    WriterHolding& operator=(const WriterHolding&) = delete;

private:
#ifdef _WIN32
    HANDLE h_;
#else
    int fd_;
#endif
};

// A w x h JPEG whose colours depend on seed, written with libjpeg itself.
inline bool writeJpeg(const std::string& path, int w, int h, int seed = 0) {
    return tvtest::writeRgbJpeg(path, w, h, 90, [w, seed](int y, unsigned char* row) {
        for (int x = 0; x < w; ++x) {
            row[x * 3 + 0] = static_cast<unsigned char>((x * 7 + seed * 37) & 0xFF);
            row[x * 3 + 1] = static_cast<unsigned char>((y * 5 + seed * 11) & 0xFF);
            row[x * 3 + 2] = static_cast<unsigned char>((seed * 53) & 0xFF);
        }
    });
}

// Width and height from a JPEG header read by libjpeg; false when the file
// is not a complete JPEG.
inline bool jpegSize(const std::string& path, int& w, int& h) {
    std::string bytes = readBytes(path);
    if (bytes.size() < 4) return false;
    // A complete JPEG ends with the end-of-image marker.
    if (static_cast<unsigned char>(bytes[bytes.size() - 2]) != 0xFF ||
        static_cast<unsigned char>(bytes[bytes.size() - 1]) != 0xD9)
        return false;
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    bool ok = jpeg_read_header(&d, TRUE) == JPEG_HEADER_OK;
    if (ok) {
        w = static_cast<int>(d.image_width);
        h = static_cast<int>(d.image_height);
    }
    jpeg_destroy_decompress(&d);
    return ok;
}

inline bool isCompleteJpeg(const std::string& path) {
    int w = 0, h = 0;
    return jpegSize(path, w, h);
}

// The file's modification time; 0 when it cannot be looked at.
inline tvtest::FileTime modificationTime(const std::string& path) {
    return tvtest::modificationTime(path).value_or(tvtest::FileTime{});
}

// Seconds since the epoch of a local wall-clock time.
inline std::time_t localTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

// ---- "nothing lost" ----------------------------------------------------------

using Files = std::map<std::string, std::string>;

// Every file of the folders, by path, with its bytes.
inline Files snapshot(const std::vector<std::string>& folders) {
    Files files;
    for (const std::string& f : folders)
        for (const std::string& n : listNames(f)) files[f + n] = readBytes(f + n);
    return files;
}

inline std::string nameOf(const std::string& path) { return path.substr(path.rfind(tv::platform::Separator) + 1); }

// The checks that make "nothing lost" precise: every file that was there is
// byte for byte as it was, or was replaced by a complete output, or was
// removed as asked once its output was complete; every visible file is
// complete. Hidden files are only temporary files of ours, and only where
// a run ended abruptly (leftoversAllowed). outputs maps source paths to
// their output paths.
inline void expectNothingLost(const Files& before, const Files& after, const std::map<std::string, std::string>& outputs,
                              bool removeSource, const std::string& where, bool leftoversAllowed = false) {
    // An output by identity: on Windows "B.JPG" may be listed for "B.jpg".
    auto isOutput = [&outputs](const std::string& path) {
        for (const auto& [s, o] : outputs)
            if (o == path || tv::platform::sameFile(tv::platform::stampOf(o), tv::platform::stampOf(path))) return true;
        return false;
    };
    for (const auto& [path, bytes] : after) {
        std::string name = nameOf(path);
        if (name[0] == '.') {
            EXPECT_TRUE(leftoversAllowed && tv::isTemporaryName(name)) << where << ": stray hidden file " << path;
        } else {
            EXPECT_TRUE(isCompleteJpeg(path)) << where << ": incomplete file " << path;
        }
    }
    for (const auto& [path, bytes] : before) {
        auto it = after.find(path);
        if (it != after.end()) {
            if (it->second != bytes) {
                EXPECT_TRUE(isOutput(path) && isCompleteJpeg(path))
                    << where << ": " << path << " changed but is no complete output";
            }
            continue;
        }
        auto out = outputs.find(path);
        bool removedAsAsked = removeSource && out != outputs.end() && after.count(out->second) &&
                              isCompleteJpeg(out->second) &&
                              (!before.count(out->second) || after.at(out->second) != before.at(out->second));
        EXPECT_TRUE(removedAsAsked) << where << ": " << path << " was lost";
    }
}

// ---- the program under test -------------------------------------------------

// A program ready to run a batch: texts, codecs, the run settings (quality 5,
// every option off), a source folder and an output folder.
class Bench {
public:
    Bench() : Bench(std::string()) {}
    // existingRoot: the folders of another Bench (a parent process's), taken
    // as they are; else fresh ones.
    explicit Bench(const std::string& existingRoot) : p(ui) {
        // Folder texts end with the program's own separator, as typed or chosen.
        if (existingRoot.empty()) {
            dir.emplace();
            root = native(dir->folder());
            src = native(dir->sub("src"));
            out = native(dir->sub("out"));
            work = native(dir->sub("work"));
        } else {
            root = existingRoot;
            src = root + "src" + tv::platform::Separator;
            out = root + "out" + tv::platform::Separator;
            work = root + "work" + tv::platform::Separator;
        }
        p.workDir = work;
        tvtest::registerCodecs(p.engine);
        textsLoaded = tv::loadMessageTable(p, tv::LangEnglish);
        p.run.sourceFolder = src;
        p.run.outputExtension = "jpg";
        p.run.compressionLevel = 5;
        p.run.destinationFolder = src;
        p.run.stored.bytes = {5, 0, 0, 0, 0, tv::LangEnglish};
        p.run.openFolderWanted = [this] { return openFolderBox; };
        p.openFolder = [this](const std::string& folder) { opened.push_back(folder); };
        ops = tv::platformFileOps();
    }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    // A catalogue entry and its ticked row; the file itself is made by the caller.
    void addEntry(const std::string& name, bool ticked = true) {
        p.catalogue.push_back({name});
        p.run.ticked.push_back(ticked ? 1 : 0);
    }
    // A generated JPEG in the source folder, catalogued and ticked.
    void addJpeg(const std::string& name, int w = 16, int h = 8, int seed = 0, bool ticked = true) {
        ASSERT_TRUE(writeJpeg(src + name, w, h, seed));
        addEntry(name, ticked);
    }
    // A PNG made by the engine's own encoder.
    bool writePng(const std::string& path, int w, int h) {
        tv::img::Image* im = tv::img::detail::create_image(p.engine, w, h, 24);
        if (!im) return false;
        tv::img::ImageHandle hd = tv::img::detail::add_to_table(p.engine, im);
        int ok = tv::img::image_save(p.engine, hd, path, tv::img::PngEncoderId);
        tv::img::image_free(p.engine, hd);
        return ok != 0;
    }

    int run(const std::string& target) {
        int r = tv::RunBatch(p, target, ops);
        EXPECT_EQ(p.WorkerFinished.load(), 1);
        // Every image was released, whatever way it ended.
        for (const tv::img::Image* im : p.engine.table) EXPECT_EQ(im, nullptr) << "an image was not released";
        EXPECT_EQ(p.engine.spare.data, nullptr) << "pages kept for later pictures outlived the batch";
        return r;
    }

    std::string text(const char* key) const { return p.texts.lookup(key); }

    std::optional<tvtest::TempDir> dir;
    Ui ui;
    tv::Program p;
    tv::FileOps ops;
    std::string root, src, out, work;
    std::vector<std::string> opened;
    bool openFolderBox = false;  // the progress window's box, as the batch ends
    bool textsLoaded = false;
};

}  // namespace batchtest
