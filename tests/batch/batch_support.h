// Test bench for the compression worker: a window system that keeps gadget
// states and answers requesters from a script, a program with real decoders
// and encoders and English texts, temporary folders and generated photos.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "batch/placement.h"
#include "batch/worker.h"
#include "imaging/image.h"
#include "shell/ids.h"
#include "shell/program.h"
#include "shell/stored_options.h"
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

// Keeps gadget texts and states, and answers requesters in order from a
// queue. An unscripted requester is a test failure and is answered with the
// giving-up answer (Cancel, or No without Cancel; "" for input), so a
// mistake cannot make the worker loop for ever.
class FakeUi : public tv::WindowSystem {
public:
    struct Answer {
        int button = 0;
        std::string text;
        std::function<void()> action;  // run before answering (e.g. a stop)
    };

    std::vector<Request> log;
    std::deque<Answer> answers;
    bool failOnUnscripted = true;
    // Answers requesters once the queue is empty, when set (input boxes get
    // the default text back).
    std::function<int(const Request&)> policy;

    void answer(int button, std::function<void()> action = {}) { answers.push_back({button, "", std::move(action)}); }
    void answerText(std::string text, std::function<void()> action = {}) {
        answers.push_back({0, std::move(text), std::move(action)});
    }
    std::vector<Request> messages(unsigned type) const {
        std::vector<Request> out;
        for (const Request& r : log)
            if (r.kind == Request::Message && r.type == type) out.push_back(r);
        return out;
    }

    // Windows (not used by the worker).
    bool openWindow(int, int, int, int, int, std::string_view, unsigned) override { return true; }
    void hideWindow(int, bool) override {}
    void setWindowTitle(int, std::string_view) override {}
    std::string windowTitle(int) override { return ""; }
    void activateWindow(int) override {}
    bool frameGadget(int, tv::Rect, std::string_view) override { return true; }
    bool textGadget(int, tv::Rect, std::string_view, tv::Align) override { return true; }
    bool stringGadget(int id, tv::Rect, std::string_view t) override { return make(id, t); }
    bool buttonGadget(int, tv::Rect, std::string_view) override { return true; }
    bool checkBoxGadget(int id, tv::Rect, std::string_view) override { return make(id, ""); }
    bool comboGadget(int id, tv::Rect) override { return make(id, ""); }
    bool listGadget(int id, tv::Rect, std::string_view, int, unsigned) override { return make(id, ""); }
    bool spinGadget(int id, tv::Rect, int, int, unsigned) override { return make(id, ""); }
    bool progressBarGadget(int, tv::Rect, int, int) override { return true; }

    std::string getText(int id) override {
        std::lock_guard<std::mutex> l(m_);
        auto it = g_.find(id);
        return it == g_.end() ? "" : it->second.text;
    }
    void setText(int id, std::string_view t) override {
        std::lock_guard<std::mutex> l(m_);
        g_[id].text = std::string(t);
    }
    int getState(int id) override {
        std::lock_guard<std::mutex> l(m_);
        auto it = g_.find(id);
        return it == g_.end() ? 0 : it->second.state;
    }
    void setState(int id, int v) override {
        std::lock_guard<std::mutex> l(m_);
        g_[id].state = v;
    }
    void addItem(int id, int, std::string_view) override {
        std::lock_guard<std::mutex> l(m_);
        g_[id].rows.push_back(0);
    }
    void addColumn(int, int, std::string_view, int) override {}
    int getItemState(int id, int r) override {
        std::lock_guard<std::mutex> l(m_);
        auto it = g_.find(id);
        if (it == g_.end() || r < 0 || r >= static_cast<int>(it->second.rows.size())) return 0;
        return it->second.rows[r];
    }
    void setItemState(int id, int r, int bits) override {
        std::lock_guard<std::mutex> l(m_);
        auto& rows = g_[id].rows;
        if (r >= 0 && r < static_cast<int>(rows.size())) rows[r] = bits & 3;
    }
    std::string getItemText(int, int, int) override { return ""; }
    int countItems(int id) override {
        std::lock_guard<std::mutex> l(m_);
        return static_cast<int>(g_[id].rows.size());
    }
    void disableGadget(int, bool) override {}
    void hideGadget(int, bool) override {}
    void setFocus(int) override {}
    void setToolTip(int, std::string_view) override {}
    void setFont(int, tv::FontId) override {}
    void setColour(int, int, tv::Colour) override {}
    tv::FontId loadFont(std::string_view, int, bool) override { return 1; }
    tv::Event waitEvent(int) override { return {}; }
    int eventGadget() override { return 0; }

    int messageBox(std::string_view title, std::string_view text, unsigned type) override {
        log.push_back({Request::Message, std::string(title), std::string(text), type, ""});
        int giveUp = (type & tv::mb::ButtonMask) == tv::mb::YesNoCancel ? tv::answer::Cancel
                     : (type & tv::mb::ButtonMask) == tv::mb::YesNo      ? tv::answer::No
                                                                         : tv::answer::Ok;
        if (shut_) return giveUp;
        if (answers.empty() && policy) return policy(log.back());
        if (answers.empty()) {
            if (failOnUnscripted) ADD_FAILURE() << "unscripted message box: " << title << " / " << text;
            return giveUp;
        }
        Answer a = answers.front();
        answers.pop_front();
        if (a.action) a.action();
        return a.button;
    }
    std::string folderChooser(std::string_view, std::string_view) override { return ""; }
    std::string inputBox(std::string_view title, std::string_view prompt, std::string_view def) override {
        log.push_back({Request::Input, std::string(title), std::string(prompt), 0, std::string(def)});
        if (shut_) return "";
        if (answers.empty() && policy) {
            policy(log.back());
            return std::string(def);
        }
        if (answers.empty()) {
            if (failOnUnscripted) ADD_FAILURE() << "unscripted input box: " << title;
            return "";
        }
        Answer a = answers.front();
        answers.pop_front();
        if (a.action) a.action();
        return a.text;
    }
    std::string clipboardText() override { return ""; }
    void shutdown() override { shut_ = true; }
    std::uint32_t tickCount() override { return 0; }
    std::vector<tv::TopLevelWindow> topLevelWindows() override { return {}; }
    bool gadgetExists(int id) override {
        std::lock_guard<std::mutex> l(m_);
        return g_.count(id) != 0;
    }
    bool isGadgetDisabled(int) override { return false; }
    bool isGadgetHidden(int) override { return false; }
    bool isWindowVisible(int) override { return false; }

private:
    struct Gadget {
        std::string text;
        int state = 0;
        std::vector<int> rows;
    };
    bool make(int id, std::string_view t) {
        std::lock_guard<std::mutex> l(m_);
        g_[id].text = std::string(t);
        return true;
    }
    std::mutex m_;
    std::map<int, Gadget> g_;
    bool shut_ = false;
};

// ---- files ----------------------------------------------------------------

inline std::string makeTempDir() {
    char tmpl[] = "/tmp/tv_batch_XXXXXX";
    const char* made = mkdtemp(tmpl);
    return made ? std::string(made) + "/" : std::string();
}

inline void removeTree(const std::string& path) {
    if (path.size() < 6 || path.rfind("/tmp/", 0) != 0) return;
    std::string cmd = "rm -rf '" + path + "'";
    int rc = std::system(cmd.c_str());
    (void)rc;
}

inline bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

inline std::string readBytes(const std::string& path) {
    std::string out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
}

inline bool writeBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// Names in a folder, without "." and "..".
inline std::vector<std::string> listNames(const std::string& folder) {
    std::vector<std::string> out;
    DIR* d = opendir(folder.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") out.push_back(n);
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

inline std::vector<std::string> hiddenNames(const std::string& folder) {
    std::vector<std::string> out;
    for (const std::string& n : listNames(folder))
        if (!n.empty() && n[0] == '.') out.push_back(n);
    return out;
}

// A w x h JPEG whose colours depend on seed, written with libjpeg itself.
inline bool writeJpeg(const std::string& path, int w, int h, int seed = 0) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(w) * 3);
    while (c.next_scanline < c.image_height) {
        int y = static_cast<int>(c.next_scanline);
        for (int x = 0; x < w; ++x) {
            row[x * 3 + 0] = static_cast<unsigned char>((x * 7 + seed * 37) & 0xFF);
            row[x * 3 + 1] = static_cast<unsigned char>((y * 5 + seed * 11) & 0xFF);
            row[x * 3 + 2] = static_cast<unsigned char>((seed * 53) & 0xFF);
        }
        JSAMPROW rp = row.data();
        jpeg_write_scanlines(&c, &rp, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(f) == 0;
}

// Width and height from a JPEG header read by libjpeg; false when the file
// is not a complete JPEG.
inline bool jpegSize(const std::string& path, int& w, int& h) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fseek(f, 0, SEEK_END);
    long len = std::ftell(f);
    std::fclose(f);
    if (len < 4) return false;
    std::string bytes = readBytes(path);
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

inline bool setModificationTime(const std::string& path, std::time_t seconds, long nanoseconds = 0) {
    struct timespec t[2];
    t[0].tv_sec = seconds;
    t[0].tv_nsec = nanoseconds;
    t[1].tv_sec = seconds;
    t[1].tv_nsec = nanoseconds;
    return utimensat(AT_FDCWD, path.c_str(), t, 0) == 0;
}

inline struct timespec modificationTime(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mtim;
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

// ---- the program under test -------------------------------------------------

// A program ready to run a batch: texts, codecs, the gadgets the worker and
// saveStoredOptions read, a source folder and an output folder.
class Bench {
public:
    Bench() : p(ui) {
        root = makeTempDir();
        src = root + "src/";
        out = root + "out/";
        work = root + "work/";
        mkdir(src.c_str(), 0755);
        mkdir(out.c_str(), 0755);
        mkdir(work.c_str(), 0755);
        p.workDir = work;
        tv::img::register_jpeg_decoder(p.engine);
        tv::img::register_jpeg_encoder(p.engine);
        tv::img::register_png_decoder(p.engine);
        tv::img::register_png_encoder(p.engine);
        textsLoaded = tv::loadMessageTable(p, tv::LangEnglish);
        ui.listGadget(tv::id::ListImgList, {}, "", 100, 0);
        ui.spinGadget(tv::id::SpinCount, {}, 1, 30000, 0);
        ui.setText(tv::id::SpinCount, "1");
        for (int id : {tv::id::CheckboxDeleteImage, tv::id::CheckboxOpenFolder, tv::id::CheckboxRenameImage,
                       tv::id::CheckboxOtherFolder, tv::id::CheckboxExtensionCase})
            ui.checkBoxGadget(id, {}, "");
        ui.comboGadget(tv::id::ComboCompression, {});
        ui.setState(tv::id::ComboCompression, 5);
        p.sourceFolder = src;
        p.outputExtension = "jpg";
        p.compressionLevel = 5;
        p.destinationFolder = src;
        p.openFolder = [this](const std::string& folder) { opened.push_back(folder); };
        ops = tv::platformFileOps();
    }
    ~Bench() { removeTree(root); }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    // A catalogue entry and its ticked row; the file itself is made by the caller.
    void addEntry(const std::string& name, bool ticked = true) {
        p.catalogue.push_back({name});
        int row = ui.countItems(tv::id::ListImgList);
        ui.addItem(tv::id::ListImgList, row, name);
        ui.setItemState(tv::id::ListImgList, row, ticked ? tv::row::Ticked : 0);
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
        return r;
    }

    std::string text(const char* key) const { return p.texts.lookup(key); }

    FakeUi ui;
    tv::Program p;
    tv::FileOps ops;
    std::string root, src, out, work;
    std::vector<std::string> opened;
    bool textsLoaded = false;
};

}  // namespace batchtest
