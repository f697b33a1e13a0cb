#include "cli/batch_command.h"

#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <set>

#include "batch/worker.h"
#include "cli/arguments.h"
#include "cli/cli_texts.h"
#include "options/catalogue.h"
#include "options/file_mask.h"
#include "options/scale_ratio.h"
#include "platform/file_state.h"
#include "platform/files.h"
#include "platform/process.h"
#include "shell/stored_options.h"
#include "shell/text.h"

namespace tv::cli {

namespace {

constexpr const char* Me = "tarvolin-batch";

// The "%" markers of text replaced by values, one each, in order.
std::string fillIn(std::string text, std::initializer_list<std::string> values) {
    std::size_t at = 0;
    for (const std::string& v : values) {
        at = text.find('%', at);
        if (at == std::string::npos) break;
        text.replace(at, 1, v);
        at += v.size();
    }
    return text;
}

std::string oneDecimalText(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

void say(std::FILE* f, const std::string& line) {
    std::fputs(line.c_str(), f);
    std::fputc('\n', f);
    std::fflush(f);
}

void complain(const std::string& message) { say(stderr, std::string(Me) + ": " + message); }

std::string folderOnly(const std::string& path) {
    std::size_t slash = path.find_last_of(platform::Separators);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Cut to at most max bytes without splitting a UTF-8 sequence.
std::string cutText(const std::string& s, std::size_t max) {
    if (s.size() <= max) return s;
    std::size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n);
}

struct Output {
    bool french = false;
    bool quiet = false;
    bool bar = false;    // the progress line on the terminal (stderr)
    bool lines = false;  // one line per photo on standard output
};

// What the batch's photos came to; written on the worker thread only, read
// by the main thread once the worker has been joined.
struct Tally {
    int ticked = 0;
    int done = 0;
    int converted = 0, skipped = 0, failed = 0;
    bool problems = false;  // saved unresized, or a source kept
    bool stoppedOnError = false;
    double megapixels = 0;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

// What the questions of the photo under way said.
struct Notes {
    std::optional<Question> last;
    std::string existing;  // the file an overwrite question named
    std::string failedPath;
    bool resizeFailed = false;
    bool removalAsked = false;
    bool stopHere = false;
};

class Reporter {
public:
    Reporter(Program& p, const Request& r, const Output& o) : p_(p), r_(r), o_(o) {}

    Tally tally;

    void install() {
        p_.policy.answer = [this](Question q, const std::string& subject) { return answer(q, subject); };
        p_.policy.newName = [this](Question q, const std::string& current) -> std::optional<std::string> {
            if (q == Question::NewNameForExisting && r_.onCollision == OnCollision::RenameWithSuffix)
                return nameWithFreeSuffix(current, [](const std::string& c) { return platform::fileSize(c) != -1; });
            return std::nullopt;
        };
        p_.photoStarting = [this](std::size_t, const std::string& name, std::int64_t) {
            notes_ = Notes{};
            drawBar(name);
        };
        p_.photoDone = [this](const PhotoReport& report) { done(report); };
    }

    void clearBar() {
        if (o_.bar && drawn_) std::fputs("\r\033[K", stderr);
        drawn_ = false;
    }

private:
    std::optional<int> onError(int giveUp) {
        switch (r_.onError) {
        case OnError::Ask: return std::nullopt;
        case OnError::Skip: return giveUp;
        case OnError::Stop:
            notes_.stopHere = true;
            tally.stoppedOnError = true;
            stopWorker(p_);
            return giveUp;
        }
        return std::nullopt;
    }

    std::optional<int> answer(Question q, const std::string& subject) {
        notes_.last = q;
        switch (q) {
        case Question::Overwrite:
            notes_.existing = subject;
            switch (r_.onCollision) {
            case OnCollision::Ask: return std::nullopt;
            case OnCollision::Overwrite: return answer::Yes;
            case OnCollision::RenameWithSuffix: return answer::No;
            case OnCollision::Skip: return answer::Cancel;
            }
            return std::nullopt;
        case Question::LoadFailed: return onError(answer::No);
        case Question::ResizeFailed:
            notes_.resizeFailed = true;
            return onError(answer::No);
        case Question::DeleteFailed:
            notes_.failedPath = subject;
            return onError(answer::No);
        case Question::SaveFailed:
            notes_.failedPath = subject;
            return onError(answer::Cancel);
        case Question::RemoveSourceFailed:
            notes_.removalAsked = true;
            return onError(answer::No);
        case Question::NewNameForExisting:
        case Question::NewNameAfterFailedSave: return std::nullopt;
        }
        return std::nullopt;
    }

    std::string t(const char* key) const { return text(o_.french, key); }

    void done(const PhotoReport& report) {
        ++tally.done;
        std::string what;
        bool problem = false;
        const std::string source = p_.run.sourceFolder + report.name;
        switch (report.outcome) {
        case ImageOutcome::Saved: {
            ++tally.converted;
            tally.megapixels += static_cast<double>(report.width) * report.height / 1e6;
            if (platform::sameFile(platform::stampOf(report.outputPath), platform::stampOf(source)))
                what = t("SavedInPlace");
            else if (!notes_.existing.empty() && notes_.existing == report.outputPath)
                what = t("SavedOver");
            else if (!notes_.existing.empty())
                what = fillIn(t("SavedRenamed"), {notes_.existing});
            else
                what = t("Saved");
            if (notes_.resizeFailed) {
                what += "; " + t("NotResized");
                problem = true;
            }
            if (report.sourceRemoved) {
                what += "; " + t("SourceRemoved");
            } else if (notes_.removalAsked) {
                what += "; " + t("SourceKept");
                problem = true;
            }
            tally.problems = tally.problems || problem;
            break;
        }
        case ImageOutcome::Skipped:
            ++tally.failed;
            problem = true;
            what = t("FailedLoad");
            break;
        case ImageOutcome::GivenUp:
        case ImageOutcome::Stopped:
            problem = true;
            if (report.outcome == ImageOutcome::Stopped && !notes_.stopHere) {
                what = t("Stopped");
            } else if (notes_.last == Question::Overwrite) {
                ++tally.skipped;
                what = r_.onCollision == OnCollision::Skip ? fillIn(t("SkippedExists"), {notes_.existing})
                                                           : t("SkippedByUser");
            } else {
                ++tally.failed;
                if (notes_.last == Question::LoadFailed)
                    what = t("FailedLoad");
                else if (notes_.last == Question::DeleteFailed)
                    what = fillIn(t("FailedReplace"), {notes_.failedPath});
                else
                    what = fillIn(t("FailedSave"), {notes_.failedPath});
            }
            if (notes_.stopHere) what += "; " + t("StoppedOnError");
            break;
        }
        std::string line = report.name;
        if (report.outcome == ImageOutcome::Saved) line += " -> " + report.outputPath;
        line += ": " + what;
        if (o_.lines && !o_.quiet) {
            say(stdout, line);
        } else if (problem && report.outcome != ImageOutcome::Stopped) {
            // Whatever else is quiet, what went wrong is told.
            clearBar();
            say(stderr, line);
        }
        drawBar("");
    }

    void drawBar(const std::string& name) {
        if (!o_.bar || o_.quiet) return;
        const int total = tally.ticked > 0 ? tally.ticked : 1;
        const long long percent = static_cast<long long>(tally.done) * 100 / total;
        constexpr int Cells = 20;
        const int filled = static_cast<int>(static_cast<long long>(tally.done) * Cells / total);
        // Appended piece by piece: one long chain of + trips GCC 12's -Wrestrict at -O3.
        std::string line = "[";
        line.append(static_cast<std::size_t>(filled), '#');
        line.append(static_cast<std::size_t>(Cells - filled), '-');
        line += "] ";
        line += std::to_string(tally.done);
        line += '/';
        line += std::to_string(tally.ticked);
        line += ' ';
        line += std::to_string(percent);
        line += '%';
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - tally.started).count();
        std::string speed;
        if (tally.done > 0 && seconds > 0)
            speed = "  " + oneDecimalText(tally.done / seconds) + " " + t("PhotosPerSecond") + ", " +
                    oneDecimalText(tally.megapixels / seconds) + " MP/s";
        int columns = platform::terminalColumns(2);
        if (columns <= 0) columns = 80;
        const std::size_t room = static_cast<std::size_t>(columns > 1 ? columns - 1 : 1);
        if (!name.empty() && line.size() + speed.size() + 2 < room)
            line += "  " + cutText(name, room - line.size() - speed.size() - 2);
        line += speed;
        std::fputs(("\r\033[K" + cutText(line, room)).c_str(), stderr);
        std::fflush(stderr);
        drawn_ = true;
    }

    Program& p_;
    const Request& r_;
    const Output& o_;
    Notes notes_;
    bool drawn_ = false;
};

// --dry-run: what the batch would write, by the worker's own naming and the
// placement's same-file rule, without loading or writing anything.
void planBatch(Program& p, const Request& r, const Output& o) {
    auto t = [&](const char* key) { return text(o.french, key); };
    const std::int64_t start = p.run.startNumber < 1 ? 1 : p.run.startNumber;
    const int width = NumberWidth(start, static_cast<std::int64_t>(p.catalogue.size()));
    std::set<std::string> planned;
    std::int64_t processed = 0;
    for (std::size_t i = 0; i < p.catalogue.size(); ++i) {
        if (!p.run.ticked[i]) continue;
        const std::string& name = p.catalogue[i].name;
        const std::string source = p.run.sourceFolder + name;
        std::string out = OutputPathFor(p.run.sourceFolder, name, p.run.outputTarget, p.run.outputExtension,
                                        start + processed++, width);
        const std::string shown = out;
        auto taken = [&planned](const std::string& c) { return platform::fileSize(c) != -1 || planned.count(c) > 0; };
        std::string what;
        bool written = true, inPlace = false;
        if (platform::sameFile(platform::stampOf(out), platform::stampOf(source))) {
            what = t("WouldInPlace");
            inPlace = true;
        } else if (platform::fileSize(out) >= 0 || planned.count(out) > 0) {
            switch (r.onCollision) {
            case OnCollision::Ask: what = t("WouldAsk"); break;
            case OnCollision::Overwrite: what = t("WouldOverwrite"); break;
            case OnCollision::RenameWithSuffix:
                out = nameWithFreeSuffix(out, taken);
                what = fillIn(t("WouldRename"), {out});
                break;
            case OnCollision::Skip:
                what = t("WouldSkip");
                written = false;
                break;
            }
        } else {
            what = t("WouldNew");
        }
        if (written) planned.insert(out);
        if (r.removeSources && written && !inPlace) what += "; " + t("WouldRemove");
        say(stdout, name + " -> " + shown + ": " + what);
    }
    if (!o.quiet) say(stderr, fillIn(t("WouldTotal"), {std::to_string(processed)}));
}

}  // namespace

std::string nameWithFreeSuffix(const std::string& path, const std::function<bool(const std::string&)>& taken) {
    const std::string folder = folderOnly(path);
    const std::string name = path.substr(folder.size());
    std::size_t dot = name.rfind('.');
    if (dot == 0) dot = std::string::npos;  // ".name" is all stem
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    for (unsigned long long n = 1;; ++n) {
        std::string candidate = folder + stem + " (" + std::to_string(n) + ")" + ext;
        if (!taken(candidate)) return candidate;
    }
}

int runBatchCommand(Program& p, const std::vector<std::string>& args) {
    const bool localeFrench = detectLanguage() == LangFrench;
    const Parsed parsed = parseArguments(args, localeFrench);
    const Request& r = parsed.request;
    Output o;
    o.french = r.language != 0 ? r.language == LangFrench : localeFrench;
    o.quiet = r.quiet;
    auto t = [&](const char* key) { return text(o.french, key); };
    if (!parsed.error.empty()) {
        complain(parsed.error);
        say(stderr, t("Try"));
        return 2;
    }
    if (r.help) {
        std::fputs(std::string(helpText(o.french)).c_str(), stdout);
        return 0;
    }
    if (r.version) {
        say(stdout, std::string(Me) + " " + VersionText);
        return 0;
    }

    // The same start-up as the windows', but for data.tvl and temp.tmp: a
    // script's run leaves the working folder alone.
    const unsigned char code = o.french ? LangFrench : LangEnglish;
    p.stored.bytes[5] = code;
    p.ui.useLanguage(languageTag(code));
    p.texts.clear();
    p.texts.loadText(o.french ? frenchBlock() : englishBlock(), "=", trim::Key | trim::Text);
    prepareEngine(p);

    float ratio = 1.0f;
    if (!r.size.empty()) {
        if (int row = presetRowOf(r.size); row != 0) {
            ratio = presetScale(row);
        } else {
            const RatioParse parsedRatio = parseRatioText(r.size);
            if (!parsedRatio.ok) {
                complain(p.texts.lookup("Info.NewSize.ErrorPrefix") + ": " + p.texts.lookup(parsedRatio.errorKey));
                return 2;
            }
            ratio = parsedRatio.ratio;
        }
    }
    const CompressionChoice choice{r.rename, r.mask, r.otherFolder, r.to};
    char forbidden = 0;
    if (const std::string key = compressionOptionsError(choice, forbidden); !key.empty()) {
        complain(replaceAll(p.texts.lookup(key), "%", std::string(1, forbidden)));
        return 2;
    }

    const std::string folder = trimSpaces(r.folder);
    if (folder.empty() || !platform::isDirectory(folder)) {
        complain(fillIn(t("NotAFolder"), {r.folder}));
        return 2;
    }
    if (platform::listDirectory(sourceFolderFrom(folder)).empty()) {
        complain(fillIn(t("Unreadable"), {r.folder}));
        return 2;
    }
    p.catalogue = listImageFolder(p, r.folder).images;

    // Ticks: --only names what is ticked, --skip what is not.
    std::vector<std::uint8_t> ticked(p.catalogue.size(), r.only.empty() ? 1 : 0);
    auto apply = [&](const std::vector<std::string>& patterns, std::uint8_t value, bool mustMatch) {
        for (const std::string& pattern : patterns) {
            // A path names the file at its end.
            const std::string wanted = pattern.substr(folderOnly(pattern).size());
            bool matched = false;
            for (std::size_t i = 0; i < p.catalogue.size(); ++i)
                if (nameMatches(wanted, p.catalogue[i].name)) {
                    ticked[i] = value;
                    matched = true;
                }
            if (!matched) {
                if (mustMatch) {
                    complain(fillIn(t("NoMatch"), {pattern}));
                    return false;
                }
                if (!r.quiet) complain(fillIn(t("NoSkipMatch"), {pattern}));
            }
        }
        return true;
    };
    if (!apply(r.only, 1, true)) return 2;
    apply(r.skip, 0, false);

    if (p.catalogue.empty()) {
        if (!r.quiet) say(stderr, p.texts.lookup("Info.EmptyFolder1") + "\n  " + p.texts.lookup("Info.EmptyFolder2"));
        return 0;
    }

    const bool terminal = platform::isTerminal(0) && platform::isTerminal(2);
    if (!r.dryRun && !terminal && (r.onCollision == OnCollision::Ask || r.onError == OnError::Ask)) {
        std::string asks, give;
        if (r.onCollision == OnCollision::Ask) {
            asks = "--on-collision ask";
            give = "--on-collision overwrite|rename-with-suffix|skip";
        }
        if (r.onError == OnError::Ask) {
            asks += (asks.empty() ? "" : ", ") + std::string("--on-error ask");
            give += (give.empty() ? "" : ", ") + std::string("--on-error skip|stop");
        }
        complain(fillIn(t("NeedTerminal"), {asks, give}));
        return 2;
    }

    RunSettings& run = p.run;
    run.sourceFolder = sourceFolderFrom(r.folder);
    run.outputExtension = r.lowerCase ? asciiLower(r.format) : r.format;
    run.compressionLevel = r.quality;
    run.outputTarget = outputTemplate(choice, run.outputExtension);
    run.destinationFolder = destinationFolderOf(run.outputTarget, run.sourceFolder);
    run.startNumber = StartNumberFromText(r.start);
    run.removeSources = r.removeSources;
    run.ticked = ticked;
    run.rememberOptions = false;
    p.ScaleRatio.store(ratio);

    if (r.dryRun) {
        planBatch(p, r, o);
        return 0;
    }

    o.bar = platform::isTerminal(2);
    o.lines = !(platform::isTerminal(1) && o.bar);
    Reporter reporter(p, r, o);
    int tickedCount = 0;
    for (std::uint8_t v : ticked) tickedCount += v;
    reporter.tally.ticked = tickedCount;
    reporter.install();
    p.TickedCount.store(tickedCount);
    p.ProcessedCount.store(0);
    p.WorkerFinished.store(0);

    // From here on a stop signal is a Stop answered Yes: the worker
    // abandons the photo under way at its next check and ends cleanly.
    platform::holdStopSignals();
    if (!p.worker.start([&p] {
            if (p.runBatch)
                p.runBatch(p, p.run.outputTarget);
            else
                RunBatch(p, p.run.outputTarget);
        })) {
        complain("no thread could be started for the batch");
        return 1;
    }
    int stopSignal = 0;
    while (p.WorkerFinished.load() == 0) {
        const int s = platform::waitForStopSignal(50);
        if (s != 0 && stopSignal == 0) {
            stopSignal = s;
            endProgram(p);
            // The progress line belongs to the worker: the message goes below it.
            say(stderr, std::string(o.bar ? "\n" : "") + t("Stopping"));
        }
    }
    endProgram(p);
    p.worker.join();
    img::image_free_all(p.engine);

    const Tally& tally = reporter.tally;
    reporter.clearBar();
    if (!r.quiet) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - tally.started).count();
        say(stderr, fillIn(t("Summary"), {std::to_string(tally.converted), std::to_string(tally.skipped),
                                          std::to_string(tally.failed), oneDecimalText(tally.megapixels),
                                          oneDecimalText(seconds)}));
    }
    if (stopSignal != 0) return 128 + stopSignal;
    if (tally.converted == tally.ticked && !tally.problems && !tally.stoppedOnError) return 0;
    return 1;
}

}  // namespace tv::cli
