// Whole-batch throughput: the real worker over every JPEG (or, with
// --inputs png, every PNG) of a folder, on
// the headless backend, writing into a fresh output folder so the sources
// stay untouched. Beside it, a floor: the same files decoded and encoded
// by libjpeg alone, in memory, with no resize and no file dates, so the
// ratio tells how much the worker adds over the codec itself.
//
//   batch FOLDER [--out DIR] [--ratio R] [--format jpg|png|bmp]
//         [--quality 0..10] [--inputs jpg|png] [--no-floor] [--floor-only]
//         [--no-sync] [--over-itself] [--sync-cost PAIRS]
//
// The floor is a JPEG round trip and is left out for PNG inputs.
// --no-sync leaves out the flushes that make every output survive a power
// cut; --sync-cost runs PAIRS batches with them and without, alternately,
// and prints what they cost. --over-itself writes every output over its
// own source (tools/crash_trials.sh kills such batches).

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "batch/worker.h"
#include "imaging/image.h"
#include "shell/language.h"
#include "shell/program.h"
#include "shell/stored_options.h"
#include "support/codecs.h"
#include "backends/scripted/scripted_window_system.h"
#include "ui/window_system.h"

namespace {

struct Options {
    std::string folder;
    std::string out;
    double ratio = 0.5;
    std::string format = "jpg";
    int quality = 5;
    std::string inputs = "jpg";
    bool floor = true;
    bool batch = true;
    bool sync = true;       // flush each output and its folder to disk
    bool overItself = false;  // write over the sources themselves
    int syncCost = 0;       // pairs of batches with and without the flushes
};

void usage() {
    std::fprintf(stderr,
                 "usage: batch FOLDER [--out DIR] [--ratio R] [--format jpg|png|bmp] [--quality 0..10]\n"
                 "             [--inputs jpg|png] [--no-floor] [--floor-only] [--no-sync] [--over-itself]\n"
                 "             [--sync-cost PAIRS]\n");
}

bool parseArgs(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& dst) {
            if (i + 1 >= argc) return false;
            dst = argv[++i];
            return true;
        };
        // The next argument as a whole number within lo..hi.
        auto number = [&](int lo, int hi, int& dst) {
            std::string v;
            if (!value(v)) return false;
            char* end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (!end || *end || v.empty() || n < lo || n > hi) return false;
            dst = static_cast<int>(n);
            return true;
        };
        std::string v;
        if (a == "--out") {
            if (!value(o.out)) return false;
        } else if (a == "--ratio") {
            if (!value(v)) return false;
            char* end = nullptr;
            o.ratio = std::strtod(v.c_str(), &end);
            if (!end || *end || !(o.ratio > 0.0)) return false;
        } else if (a == "--format") {
            if (!value(o.format)) return false;
            for (char& c : o.format)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (o.format != "jpg" && o.format != "png" && o.format != "bmp") return false;
        } else if (a == "--quality") {
            if (!number(0, 10, o.quality)) return false;
        } else if (a == "--inputs") {
            if (!value(o.inputs)) return false;
            if (o.inputs != "jpg" && o.inputs != "png") return false;
        } else if (a == "--no-floor") {
            o.floor = false;
        } else if (a == "--floor-only") {
            o.batch = false;
        } else if (a == "--no-sync") {
            o.sync = false;
        } else if (a == "--over-itself") {
            o.overItself = true;
        } else if (a == "--sync-cost") {
            if (!number(1, 100, o.syncCost)) return false;
        } else if (!a.empty() && a[0] == '-') {
            return false;
        } else if (o.folder.empty()) {
            o.folder = a;
        } else {
            return false;
        }
    }
    if (o.folder.empty()) return false;
    if (o.inputs == "png" || o.overItself || o.syncCost > 0) o.floor = false;
    if (o.folder.back() != '/') o.folder += '/';
    return !(o.overItself && (o.syncCost > 0 || !o.out.empty()));
}

bool hasInputExtension(const std::string& name, const std::string& inputs) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (inputs == "png") return ext == "png";
    return ext == "jpg" || ext == "jpeg" || ext == "jpe";
}

std::vector<std::string> listInputs(const std::string& folder, const std::string& inputs) {
    std::vector<std::string> names;
    DIR* d = opendir(folder.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        struct stat st;
        if (hasInputExtension(n, inputs) && stat((folder + n).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool readFile(const std::string& path, std::vector<unsigned char>& out) {
    out.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    unsigned char buf[1 << 16];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// libjpeg's default handler exits the process; a bad file must only be
// skipped, so errors jump back out.
struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

void onJpegError(j_common_ptr c) {
    JpegError* e = reinterpret_cast<JpegError*>(c->err);
    longjmp(e->jump, 1);
}

void quietMessage(j_common_ptr) {}

// Width and height from a PNG's IHDR, which always comes first.
bool pngHeaderSize(const std::vector<unsigned char>& b, int& w, int& h) {
    static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (b.size() < 24 || std::memcmp(b.data(), sig, 8) != 0 || std::memcmp(b.data() + 12, "IHDR", 4) != 0)
        return false;
    auto be32 = [&b](std::size_t at) {
        return (static_cast<unsigned long>(b[at]) << 24) | (static_cast<unsigned long>(b[at + 1]) << 16) |
               (static_cast<unsigned long>(b[at + 2]) << 8) | b[at + 3];
    };
    w = static_cast<int>(be32(16));
    h = static_cast<int>(be32(20));
    return w > 0 && h > 0;
}

bool jpegHeaderSize(const std::vector<unsigned char>& bytes, int& w, int& h) {
    jpeg_decompress_struct d;
    JpegError err;
    d.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = onJpegError;
    err.mgr.output_message = quietMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&d);
        return false;
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&d, TRUE);
    w = static_cast<int>(d.image_width);
    h = static_cast<int>(d.image_height);
    jpeg_destroy_decompress(&d);
    return true;
}

// Decodes to RGB at full size and encodes again at quality 50 with the
// standard tables and 4:2:0, all in memory. Returns the encoded size, 0 on
// failure. pixels is reused from call to call.
unsigned long floorRoundTrip(const std::vector<unsigned char>& bytes, std::vector<unsigned char>& pixels) {
    jpeg_decompress_struct d;
    jpeg_compress_struct c;
    JpegError derr, cerr;
    unsigned char* encoded = nullptr;
    unsigned long encodedSize = 0;
    d.err = jpeg_std_error(&derr.mgr);
    derr.mgr.error_exit = onJpegError;
    derr.mgr.output_message = quietMessage;
    c.err = jpeg_std_error(&cerr.mgr);
    cerr.mgr.error_exit = onJpegError;
    cerr.mgr.output_message = quietMessage;
    jpeg_create_decompress(&d);
    jpeg_create_compress(&c);
    if (setjmp(derr.jump) || setjmp(cerr.jump)) {
        jpeg_destroy_decompress(&d);
        jpeg_destroy_compress(&c);
        std::free(encoded);
        return 0;
    }
    jpeg_mem_src(&d, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    const std::size_t stride = static_cast<std::size_t>(d.output_width) * 3;
    pixels.resize(stride * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = pixels.data() + stride * d.output_scanline;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);

    jpeg_mem_dest(&c, &encoded, &encodedSize);
    c.image_width = d.output_width;
    c.image_height = d.output_height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);  // 4:2:0, standard Huffman tables
    jpeg_set_quality(&c, 50, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = pixels.data() + stride * c.next_scanline;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    unsigned long size = encodedSize;
    jpeg_destroy_decompress(&d);
    jpeg_destroy_compress(&c);
    std::free(encoded);
    return size;
}

double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// User + system CPU seconds of the whole process so far: on a shared
// machine it varies far less than wall time.
double cpuSeconds() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    auto sec = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return sec(ru.ru_utime) + sec(ru.ru_stime);
}

long peakRssKb() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;  // kilobytes on Linux
}

bool makeFolder(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    return mkdir(path.c_str(), 0755) == 0;
}

bool folderIsEmpty(const std::string& path) {
    DIR* d = opendir(path.c_str());
    if (!d) return false;
    bool empty = true;
    while (dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    closedir(d);
    return empty;
}

// The run settings of a plain batch: every row ticked, start number 1,
// nothing removed, no folder opened.
void setUpProgram(tv::Program& p, const Options& o, const std::vector<std::string>& names,
                  const std::string& workDir) {
    p.workDir = workDir;
    tvtest::registerCodecs(p.engine);
    p.run.sourceFolder = o.folder;
    p.run.destinationFolder = o.out;
    p.run.outputExtension = o.format;
    p.run.compressionLevel = o.quality;
    p.run.stored.bytes = {static_cast<std::uint8_t>(o.quality), 0, 0, 0, 1, tv::LangEnglish};
    p.ScaleRatio.store(static_cast<float>(o.ratio));
    p.openFolder = [](const std::string&) {};
    for (const std::string& name : names) {
        p.catalogue.push_back({name});
        p.run.ticked.push_back(1);
    }
    p.TickedCount.store(static_cast<int>(names.size()));
}

struct BatchResult {
    bool ran = false;
    std::string out;
    int saved = 0;
    int questions = 0;
    double wallSeconds = 0.0;
    double cpuSeconds = 0.0;
};

// One batch into out (a fresh folder when empty; the source folder itself
// with --over-itself), with or without the flushes.
BatchResult runBatch(const Options& o, const std::vector<std::string>& names, std::string out, bool sync) {
    BatchResult r;
    // Under $TMPDIR when set, so a script that kills the batch can clean up.
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    std::string tmpl = base + "/tv_bench_work_XXXXXX";
    const char* work = mkdtemp(tmpl.data());
    if (!work) {
        std::perror("batch: mkdtemp");
        return r;
    }
    std::string workDir = std::string(work) + "/";
    if (out.empty()) {
        std::string outTmpl = base + "/tv_bench_out_XXXXXX";
        const char* made = mkdtemp(outTmpl.data());
        if (!made) {
            std::perror("batch: mkdtemp");
            return r;
        }
        out = made;
    }
    if (out.back() != '/') out += '/';
    // A fresh folder: outputs never meet the sources or an earlier run.
    if (!o.overItself && (!makeFolder(out) || !folderIsEmpty(out))) {
        std::fprintf(stderr, "batch: %s must be a new or empty folder\n", out.c_str());
        return r;
    }

    tv::ScriptedWindowSystem ui;
    std::atomic<int> questions{0};
    // No question is expected; any one gets the giving-up answer and is counted.
    ui.setAnswerProvider([&questions](const tv::RequesterRecord& q) -> std::optional<tv::RequesterAnswer> {
        questions.fetch_add(1);
        std::fprintf(stderr, "batch: unexpected question: %s\n", q.text.c_str());
        return std::nullopt;
    });
    tv::Program p(ui);
    Options here = o;
    here.out = out;
    setUpProgram(p, here, names, workDir);
    tv::FileOps ops = tv::platformFileOps();
    if (!sync) {
        ops.flushFile = [](const tv::platform::TempFile&) { return true; };
        ops.flushFolder = [](const std::string&) { return true; };
    }

    auto t0 = std::chrono::steady_clock::now();
    const double cpu0 = cpuSeconds();
    tv::RunBatch(p, o.overItself ? std::string() : out, ops);
    r.wallSeconds = secondsSince(t0);
    r.cpuSeconds = cpuSeconds() - cpu0;
    r.ran = true;
    r.out = out;
    r.saved = p.ProcessedCount.load();
    r.questions = questions.load();
    std::string rm = "rm -rf '" + workDir + "'";
    if (o.syncCost > 0) rm += " '" + out + "'";
    if (std::system(rm.c_str()) != 0) std::fprintf(stderr, "batch: could not remove %s\n", workDir.c_str());
    return r;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseArgs(argc, argv, o)) {
        usage();
        return 2;
    }
    std::vector<std::string> names = listInputs(o.folder, o.inputs);
    if (names.empty()) {
        std::fprintf(stderr, "batch: no %s file in %s\n", o.inputs == "png" ? "PNG" : "JPEG", o.folder.c_str());
        return 1;
    }

    // Sizes from the headers, outside the timing.
    double megapixels = 0.0;
    int largestW = 0, largestH = 0;
    {
        std::vector<unsigned char> bytes;
        for (const std::string& n : names) {
            int w = 0, h = 0;
            if (!readFile(o.folder + n, bytes)) continue;
            if (!(o.inputs == "png" ? pngHeaderSize(bytes, w, h) : jpegHeaderSize(bytes, w, h))) continue;
            megapixels += static_cast<double>(w) * h / 1e6;
            if (static_cast<long long>(w) * h > static_cast<long long>(largestW) * largestH) {
                largestW = w;
                largestH = h;
            }
        }
    }
    std::printf("images: %zu\n", names.size());
    std::printf("megapixels: %.3f\n", megapixels);
    if (largestW > 0) {
        int rw = tv::ScaledSize(static_cast<float>(o.ratio), largestW);
        int rh = tv::ScaledSize(static_cast<float>(o.ratio), largestH);
        // The engine holds 24-bit rows padded to 4 bytes.
        double decoded = static_cast<double>(tv::img::row_pitch(largestW, 24)) * largestH;
        double resized = static_cast<double>(tv::img::row_pitch(rw, 24)) * rh;
        std::printf("largest: %dx%d -> %dx%d, decoded %.1f MiB + resized %.1f MiB = %.1f MiB\n", largestW, largestH,
                    rw, rh, decoded / 1048576.0, resized / 1048576.0, (decoded + resized) / 1048576.0);
    }
    long rssBefore = peakRssKb();
    std::printf("rss_before_kb: %ld\n", rssBefore);

    double batchSeconds = 0.0;
    double batchCpu = 0.0;
    if (o.syncCost > 0) {
        std::vector<double> with, without;
        for (int i = 0; i < o.syncCost; ++i) {
            for (bool sync : {true, false}) {
                BatchResult r = runBatch(o, names, "", sync);
                if (!r.ran) return 1;
                (sync ? with : without).push_back(r.wallSeconds);
            }
        }
        double w = median(with), wo = median(without);
        std::printf("pairs: %d\n", o.syncCost);
        std::printf("batch_wall_s_with_sync: %.3f\n", w);
        std::printf("batch_wall_s_without_sync: %.3f\n", wo);
        std::printf("sync_cost_percent: %.2f\n", wo > 0 ? 100.0 * (w - wo) / wo : 0.0);
    } else if (o.batch) {
        BatchResult r = runBatch(o, names, o.overItself ? o.folder : o.out, o.sync);
        if (!r.ran) return 1;
        batchSeconds = r.wallSeconds;
        batchCpu = r.cpuSeconds;
        std::printf("output: %s\n", r.out.c_str());
        std::printf("saved: %d\n", r.saved);
        std::printf("questions: %d\n", r.questions);
        std::printf("batch_wall_s: %.3f\n", r.wallSeconds);
        std::printf("batch_cpu_s: %.3f\n", r.cpuSeconds);
        std::printf("batch_mp_per_s: %.2f\n", r.wallSeconds > 0 ? megapixels / r.wallSeconds : 0.0);
        std::printf("batch_peak_rss_kb: %ld\n", peakRssKb());
    }

    if (o.floor) {
        std::vector<unsigned char> bytes, pixels;
        int done = 0;
        auto t0 = std::chrono::steady_clock::now();
        const double cpu0 = cpuSeconds();
        for (const std::string& n : names) {
            if (!readFile(o.folder + n, bytes)) continue;
            if (floorRoundTrip(bytes, pixels) != 0) ++done;
        }
        double floorSeconds = secondsSince(t0);
        const double floorCpu = cpuSeconds() - cpu0;
        std::printf("floor_images: %d\n", done);
        std::printf("floor_wall_s: %.3f\n", floorSeconds);
        std::printf("floor_cpu_s: %.3f\n", floorCpu);
        std::printf("floor_mp_per_s: %.2f\n", floorSeconds > 0 ? megapixels / floorSeconds : 0.0);
        // The whole process's peak: the floor's own with --floor-only.
        std::printf("peak_rss_kb_after_floor: %ld\n", peakRssKb());
        if (o.batch && floorSeconds > 0) std::printf("ratio_batch_over_floor: %.3f\n", batchSeconds / floorSeconds);
        if (o.batch && floorCpu > 0) std::printf("cpu_ratio_batch_over_floor: %.3f\n", batchCpu / floorCpu);
    }
    return 0;
}
