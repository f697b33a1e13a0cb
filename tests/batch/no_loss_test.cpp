// The batch never costs a photo, whatever the folder names, the file
// system, other programs or a crash do: one table per kind of fault.
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "batch_support.h"
#include "support/hang_guard.h"
#include "support/ordinary_user.h"

using namespace batchtest;
namespace answer = tv::answer;
namespace mb = tv::mb;

namespace {

// Yes to the overwrite question, giving up at every other.
int overwriteOnly(const Bench& b, const Request& r) {
    if (r.title == "Tarvolin - " + b.text("Info.FileOverwrite.Title")) return answer::Yes;
    unsigned buttons = r.type & mb::ButtonMask;
    if (buttons == mb::YesNoCancel) return answer::Cancel;
    if (buttons == mb::YesNo) return answer::No;
    return answer::Ok;
}

bool halfSized(const std::string& path, int w, int h) {
    int gw = 0, gh = 0;
    return jpegSize(path, gw, gh) && gw == w / 2 && gh == h / 2;
}

void appendTo(const std::string& path, const std::string& bytes) {
    std::ofstream(tvtest::fsPath(path), std::ios::binary | std::ios::app) << bytes;
}

// ---- several spellings of one folder ---------------------------------------

TEST(NoLoss, FolderSpellingsAndLetterCase) {
    enum Alias { Linked, DotInside, DoubleSlash, OtherCase };
    struct Case {
        const char* name;
        Alias alias;
    };
#ifdef _WIN32
    // Windows ignores letter case in names: "Src" is the source folder itself.
    // (No linked folder: making one takes special rights there.)
    const bool oneFolderWhateverTheCase = true;
    const Case cases[] = {
        {"folder\\.", DotInside}, {"folder\\\\", DoubleSlash}, {"folder of other letter case", OtherCase}};
#else
    const bool oneFolderWhateverTheCase = false;
    const Case cases[] = {{"linked folder", Linked},
                          {"folder/.", DotInside},
                          {"folder//", DoubleSlash},
                          {"folder of other letter case", OtherCase}};
#endif
    for (Case c : cases) {
        for (bool remove : {false, true}) {
            std::string where = std::string(c.name) + (remove ? ", remove on" : ", remove off");
            Bench b;
            ASSERT_TRUE(b.textsLoaded);
            b.addJpeg("a.jpg", 20, 10, 1);
            b.addJpeg("b.jpg", 16, 12, 2);
            b.p.ScaleRatio = 0.5f;
            b.p.run.removeSources = remove;
            b.ui.policy = [&b](const Request& r) { return overwriteOnly(b, r); };
            auto before = snapshot({b.src});
            std::string target;
            switch (c.alias) {
            case Linked:
#ifndef _WIN32
                ASSERT_EQ(symlink(b.src.c_str(), (b.root + "link").c_str()), 0);
#endif
                target = b.root + native("link/");
                break;
            case DotInside: target = b.src + native("./"); break;
            case DoubleSlash:
                // The source folder typed with a doubled separator.
                b.p.run.sourceFolder = b.root + native("/src/");
                target = b.src;
                break;
            case OtherCase:
                if (!oneFolderWhateverTheCase) {
                    ASSERT_TRUE(makeFolder(b.root + "Src"));
                }
                target = b.root + native("Src/");
                break;
            }
            b.run(target);
            EXPECT_TRUE(b.ui.log().empty()) << where << ": no question is due";
            if (c.alias == OtherCase && !oneFolderWhateverTheCase) {
                // Two folders: copies there, sources kept unless removal was asked.
                EXPECT_TRUE(halfSized(b.root + native("Src/a.jpg"), 20, 10)) << where;
                EXPECT_TRUE(halfSized(b.root + native("Src/b.jpg"), 16, 12)) << where;
                if (remove)
                    EXPECT_TRUE(listNames(b.src).empty()) << where;
                else
                    EXPECT_EQ(snapshot({b.src}), before) << where;
            } else {
                // One folder: each photo replaced by its own output, never removed.
                EXPECT_EQ(listNames(b.src), (std::vector<std::string>{"a.jpg", "b.jpg"})) << where;
                EXPECT_TRUE(halfSized(b.src + "a.jpg", 20, 10)) << where;
                EXPECT_TRUE(halfSized(b.src + "b.jpg", 16, 12)) << where;
            }
        }
    }
}

#ifdef _WIN32
// "A.JPG" and "a.jpg" in one folder are one file on Windows: the photo is
// replaced by its own output, never removed as a source after it, and no
// second file appears.
TEST(NoLoss, NamesDifferingInLetterCaseAreOneFile) {
    for (bool remove : {false, true}) {
        Bench b;
        ASSERT_TRUE(b.textsLoaded);
        b.addJpeg("A.JPG", 20, 10, 1);
        b.p.ScaleRatio = 0.5f;
        b.p.run.removeSources = remove;
        b.run(b.src + "a.jpg");
        EXPECT_TRUE(b.ui.log().empty()) << "remove " << remove << ": no question is due";
        const std::vector<std::string> names = listNames(b.src);
        ASSERT_EQ(names.size(), 1u) << "remove " << remove;
        // Which spelling stays is the file system's choice.
        EXPECT_TRUE(names[0] == "a.jpg" || names[0] == "A.JPG") << names[0];
        EXPECT_TRUE(halfSized(b.src + names[0], 20, 10)) << "remove " << remove;
    }
}
#endif

// ---- a crash at any moment --------------------------------------------------

struct CrashScenario {
    const char* name;
    std::function<std::string(Bench&)> setUp;  // returns the target
    bool removeSource;
    std::function<std::map<std::string, std::string>(Bench&)> outputs;
};

std::vector<CrashScenario> crashScenarios() {
    return {
        {"over themselves",
         [](Bench& b) {
             b.addJpeg("a.jpg", 20, 10, 1);
             b.addJpeg("b.jpg", 12, 10, 3);
             return std::string();
         },
         false,
         [](Bench& b) {
             return std::map<std::string, std::string>{{b.src + "a.jpg", b.src + "a.jpg"},
                                                       {b.src + "b.jpg", b.src + "b.jpg"}};
         }},
        {"over an older output, remove on",
         [](Bench& b) {
             b.addJpeg("p.jpg", 20, 10, 1);
             b.addJpeg("q.jpg", 12, 10, 3);
             EXPECT_TRUE(writeJpeg(b.out + "q.jpg", 6, 6, 2));
             return b.out;
         },
         true,
         [](Bench& b) {
             return std::map<std::string, std::string>{{b.src + "p.jpg", b.out + "p.jpg"},
                                                       {b.src + "q.jpg", b.out + "q.jpg"}};
         }},
    };
}

constexpr int Crashed = 86;

// Ends the process at once, as a kill would: nothing flushed, nothing closed
// by the program.
[[noreturn]] void endAbruptly(int code) {
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
#endif
    std::_Exit(code);
}

std::string setUpCrashRun(Bench& b, const CrashScenario& sc) {
    std::string target = sc.setUp(b);
    b.p.run.removeSources = sc.removeSource;
    b.ui.policy = [&b](const Request& r) { return overwriteOnly(b, r); };
    b.ui.failOnUnscripted = false;
    return target;
}

// In the process that crashes: the batch, ended at the n-th point (each
// step of putting a picture in place, and half-way through writing each
// temporary file), or with 0 when it was over first.
[[noreturn]] void runUntilCrash(Bench& b, const std::string& target, int n) {
    int count = 0;
    b.ops.reached = [&](tv::SaveStep, const std::string&) {
        if (++count == n) endAbruptly(Crashed);
    };
    auto real = b.ops.saveImage;
    b.ops.saveImage = [&, real](tv::img::Engine& e, tv::img::ImageHandle h, const std::string& path,
                                std::uint32_t enc, int opt) {
        if (++count == n) {
            writeBytes(path, "\xFF\xD8\xFF\xE0 half");
            endAbruptly(Crashed);
        }
        return real(e, h, path, enc, opt);
    };
    tv::RunBatch(b.p, target, b.ops);
    endAbruptly(0);
}

#ifdef _WIN32
// No fork: the test program runs this test again in a child process, which
// finds "<scenario> <point> <root folder>" here.
constexpr const wchar_t* CrashPointVariable = L"TARVOLIN_TEST_CRASH_POINT";

// In the child: the scenario over the parent's folders and the crash.
void crashHereIfAsked() {
    std::vector<wchar_t> value(32768);
    DWORD length = GetEnvironmentVariableW(CrashPointVariable, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 || length >= value.size()) return;
    std::istringstream in(tvtest::utf8Of(std::filesystem::path(std::wstring(value.data(), length))));
    std::size_t scenario = 0;
    int n = 0;
    std::string root;
    in >> scenario >> n;
    std::getline(in >> std::ws, root);
    const std::vector<CrashScenario> scenarios = crashScenarios();
    if (!in || scenario >= scenarios.size() || root.empty()) std::_Exit(1);
    Bench b(root);
    // Writes the same files again, byte for byte.
    const std::string target = setUpCrashRun(b, scenarios[scenario]);
    runUntilCrash(b, target, n);
}
#endif

// Runs the batch in a child process that ends abruptly at the n-th point.
// True when it ended there, false when the batch was over first.
bool crashAt(Bench& b, const std::string& target, std::size_t scenario, int n) {
    std::fflush(nullptr);
#ifdef _WIN32
    (void)target;
    std::vector<wchar_t> exe(32768);
    const DWORD length = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    std::wstring command =
        L"\"" + std::wstring(exe.data(), length) + L"\" --gtest_filter=NoLoss.CrashAtEveryStepOfASave";
    const std::string point = std::to_string(scenario) + " " + std::to_string(n) + " " + b.root;
    SetEnvironmentVariableW(CrashPointVariable, tvtest::fsPath(point).wstring().c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const bool started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &startup, &child) != 0;
    SetEnvironmentVariableW(CrashPointVariable, nullptr);
    EXPECT_TRUE(started) << "the test program could not be started again";
    if (!started) return false;
    DWORD code = 1;
    const bool ended = WaitForSingleObject(child.hProcess, tvtest::HangGuardMs) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(child.hProcess, 1);
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    EXPECT_TRUE(ended && (code == 0 || code == Crashed)) << "the batch itself failed";
    return ended && code == Crashed;
#else
    (void)scenario;
    pid_t pid = fork();
    if (pid == 0) runUntilCrash(b, target, n);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << "the batch itself failed";
    return WIFEXITED(status) && WEXITSTATUS(status) == Crashed;
#endif
}

TEST(NoLoss, CrashAtEveryStepOfASave) {
#ifdef _WIN32
    crashHereIfAsked();
#endif
    int crashes = 0;
    const std::vector<CrashScenario> scenarios = crashScenarios();
    for (std::size_t i = 0; i < scenarios.size(); ++i) {
        const CrashScenario& sc = scenarios[i];
        for (int n = 1; n < 100; ++n) {
            Bench b;
            ASSERT_TRUE(b.textsLoaded);
            std::string target = setUpCrashRun(b, sc);
            auto before = snapshot({b.src, b.out});
            std::string where = std::string(sc.name) + ", crash at point " + std::to_string(n);
            bool crashed = crashAt(b, target, i, n);
            if (!crashed) break;
            ++crashes;
            expectNothingLost(before, snapshot({b.src, b.out}), sc.outputs(b), sc.removeSource, where, true);
            // The next batch into those folders finishes the work and takes
            // away what the crash left.
            b.run(target);
            expectNothingLost(before, snapshot({b.src, b.out}), sc.outputs(b), sc.removeSource, where + ", rerun");
            if (::testing::Test::HasFailure()) return;
        }
    }
    // Two scenarios of two images, each image: temporary file made, half-way
    // through writing it, written, flushed, renamed, folder flushed, and the
    // removal where asked.
    EXPECT_EQ(crashes, 2 * 6 + 2 * 7);
}

TEST(NoLoss, OnlyOurUnheldLeftoversAreRemoved) {
    Bench b;
    ASSERT_TRUE(b.textsLoaded);
    b.addJpeg("a.jpg");
    const std::vector<std::string> users = {".a.jpg.tvtmp-0123abcd-1x", ".a.jpg.tvtmp-0123abcg-1", "a.jpg.tvtmp-0123abcd-1",
                                            ".a.jpg.tvold-0123abcd-1"};
    for (const std::string& n : users) ASSERT_TRUE(writeBytes(b.out + n, "a file of the user's"));
    const std::string leftover = b.out + ".a.jpg.tvtmp-0123abcd-4";
    ASSERT_TRUE(writeBytes(leftover, "\xFF\xD8 cut short by a crash"));
    ASSERT_TRUE(makeFolder(b.out + ".d.jpg.tvtmp-0123abcd-5"));
    // Another run, still writing its temporary file.
    tv::platform::TempFile held;
    ASSERT_TRUE(tv::platform::createTempFile(b.out + ".b.jpg.tvtmp-89abcdef-0", false, held));
    b.run(b.out);
    EXPECT_FALSE(exists(leftover));
    EXPECT_TRUE(exists(held.path));
    EXPECT_TRUE(exists(b.out + ".d.jpg.tvtmp-0123abcd-5"));
    for (const std::string& n : users) EXPECT_EQ(readBytes(b.out + n), "a file of the user's") << n;
    EXPECT_TRUE(isCompleteJpeg(b.out + "a.jpg"));
    tv::platform::closeTempFile(held, true);
}

// ---- other programs at work --------------------------------------------------

TEST(NoLoss, SourceChangedOrHeldOpenBetweenLoadAndReplace) {
    enum When { AtLoad, BeforeEncoding, AfterSaving };
    enum What { Completed, Held };
    struct Case {
        const char* name;
        bool sameFile;  // written over itself, else into the other folder with removal
        When when;
        What what;
        unsigned question;  // the one asked, answered No or Cancel
    };
    const unsigned DeleteFail = mb::YesNo | mb::IconError, SaveFail = mb::YesNoCancel | mb::IconWarning,
                   RemoveFail = mb::YesNo | mb::IconWarning;
    const Case cases[] = {
        {"cut-short photo completed after its load, over itself", true, AtLoad, Completed, DeleteFail},
        {"photo held open by its writer, over itself", true, AtLoad, Held, DeleteFail},
        {"photo completed while it was resized, over itself", true, BeforeEncoding, Completed, SaveFail},
        {"photo opened for writing while it was resized, over itself", true, BeforeEncoding, Held, SaveFail},
        {"cut-short photo completed after its load, removed", false, AtLoad, Completed, RemoveFail},
        {"photo opened for writing once its copy was saved, removed", false, AfterSaving, Held, RemoveFail},
    };
    for (const Case& c : cases) {
        Bench b;
        ASSERT_TRUE(b.textsLoaded);
        ASSERT_TRUE(writeJpeg(b.root + "whole.jpg", 64, 48, 5));
        const std::string whole = readBytes(b.root + "whole.jpg");
        // A file manager is still copying the photo in: only its first half is there.
        const std::string source = b.src + "new.jpg";
        ASSERT_TRUE(writeBytes(source, whole.substr(0, whole.size() / 2)));
        b.addEntry("new.jpg");
        b.p.run.removeSources = !c.sameFile;
        b.ui.policy = [](const Request& r) {
            return (r.type & mb::ButtonMask) == mb::YesNoCancel ? answer::Cancel : answer::No;
        };
        b.ui.failOnUnscripted = false;
        std::unique_ptr<WriterHolding> writer;
        auto act = [&] {
            if (c.what == Completed)
                appendTo(source, whole.substr(whole.size() / 2));
            else
                writer = std::make_unique<WriterHolding>(source);
        };
        auto load = b.ops.loadImage;
        b.ops.loadImage = [&, load](tv::img::Engine& e, const std::string& path, tv::platform::FileStamp& s) {
            tv::img::ImageHandle h = load(e, path, s);
            if (c.when == AtLoad) act();
            return h;
        };
        auto save = b.ops.saveImage;
        b.ops.saveImage = [&, save](tv::img::Engine& e, tv::img::ImageHandle h, const std::string& path,
                                    std::uint32_t enc, int opt) {
            if (c.when == BeforeEncoding) act();
            return save(e, h, path, enc, opt);
        };
        b.ops.reached = [&](tv::SaveStep s, const std::string&) {
            if (c.when == AfterSaving && s == tv::SaveStep::FolderFlushed) act();
        };
        b.run(c.sameFile ? std::string() : b.out);
        writer.reset();
        std::vector<Request> log = b.ui.log();
        ASSERT_EQ(log.size(), 1u) << c.name;
        EXPECT_EQ(log[0].type, c.question) << c.name;
        // Left untouched: a half if its writer still holds it, else the whole photo.
        EXPECT_EQ(readBytes(source), c.what == Completed ? whole : whole.substr(0, whole.size() / 2)) << c.name;
        EXPECT_EQ(listNames(b.src), std::vector<std::string>{"new.jpg"}) << c.name;
        if (!c.sameFile) {
            EXPECT_TRUE(isCompleteJpeg(b.out + "new.jpg")) << c.name;
        }
    }
}

// ---- permissions --------------------------------------------------------------

// Not on Windows: it keeps no permission bits (the read-only attribute is
// held by FilesTheUserMayNotWriteAreProtected).
#ifndef _WIN32
TEST(NoLoss, AReplacedFileKeepsItsPermissionBits) {
    struct Case {
        const char* name;
        bool sameFile;
        mode_t mode;
    };
    for (Case c : {Case{"private output replaced", false, 0600}, Case{"group-readable photo over itself", true, 0640},
                   Case{"shared output replaced", false, 0664}}) {
        Bench b;
        ASSERT_TRUE(b.textsLoaded);
        b.addJpeg("a.jpg");
        std::string replaced = c.sameFile ? b.src + "a.jpg" : b.out + "a.jpg";
        if (!c.sameFile) {
            ASSERT_TRUE(writeJpeg(replaced, 4, 4, 9));
        }
        ASSERT_EQ(chmod(replaced.c_str(), c.mode), 0);
        b.ui.policy = [&b](const Request& r) { return overwriteOnly(b, r); };
        b.run(c.sameFile ? std::string() : b.out);
        struct stat st {};
        ASSERT_EQ(stat(replaced.c_str(), &st), 0) << c.name;
        EXPECT_EQ(st.st_mode & 07777, c.mode) << c.name;
        EXPECT_TRUE(isCompleteJpeg(replaced)) << c.name;
    }
}

#endif

#ifndef _WIN32
// The batch as an ordinary user; its questions come back as lines
// "<type> <text>". False when no such user can be had.
bool batchAsOrdinaryUser(Bench& b, const std::string& target, std::vector<std::string>& questions) {
    const std::string report = b.root + "questions.txt";
    int code = tvtest::runAsOrdinaryUser(b.root, [&] {
        tv::RunBatch(b.p, target, b.ops);
        std::ofstream out(report);
        for (const Request& r : b.ui.log()) out << r.type << ' ' << r.text << '\x1e';
        out.close();
        return out ? 0 : 1;
    });
    if (code == tvtest::NoOrdinaryUser) return false;
    EXPECT_EQ(code, 0);
    std::string all = readBytes(report);
    for (std::size_t at = 0, end; (end = all.find('\x1e', at)) != std::string::npos; at = end + 1)
        questions.push_back(all.substr(at, end - at));
    return true;
}
#endif

// On Linux a file the user may not write (run as an ordinary user, since
// root writes any file); on Windows a file with the read-only attribute.
TEST(NoLoss, FilesTheUserMayNotWriteAreProtected) {
    struct Case {
        const char* name;
        bool sameFile;       // over itself, else into the other folder
        bool existingOutput;  // a read-only older output there
        bool remove;
        unsigned question;
    };
    const Case cases[] = {
        {"read-only photo over itself", true, false, false, mb::YesNo | mb::IconError},
        {"read-only older output, overwrite Yes", false, true, false, mb::YesNo | mb::IconError},
        {"read-only source, removal asked", false, false, true, mb::YesNo | mb::IconWarning},
    };
    for (const Case& c : cases) {
        Bench b;
        ASSERT_TRUE(b.textsLoaded);
        b.addJpeg("a.jpg");
        std::string protectedFile = c.existingOutput ? b.out + "a.jpg" : b.src + "a.jpg";
        if (c.existingOutput) {
            ASSERT_TRUE(writeJpeg(protectedFile, 4, 4, 9));
        }
        const std::string kept = readBytes(protectedFile);
        b.p.run.removeSources = c.remove;
        b.ui.policy = [&b](const Request& r) { return overwriteOnly(b, r); };
        b.ui.failOnUnscripted = false;
        std::vector<std::string> questions;
#ifdef _WIN32
        const std::wstring wide = tvtest::fsPath(protectedFile).wstring();
        ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
        b.run(c.sameFile ? std::string() : b.out);
        for (const Request& r : b.ui.log()) questions.push_back(std::to_string(r.type) + ' ' + r.text);
        // Writable again, so that the folder can be removed.
        SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
#else
        ASSERT_EQ(chmod(protectedFile.c_str(), 0444), 0);
        if (!batchAsOrdinaryUser(b, c.sameFile ? std::string() : b.out, questions))
            GTEST_SKIP() << "no user without special rights to run as";
#endif
        ASSERT_FALSE(questions.empty()) << c.name;
        EXPECT_EQ(questions.back().substr(0, questions.back().find(' ')), std::to_string(c.question)) << c.name;
        EXPECT_EQ(readBytes(protectedFile), kept) << c.name;
        if (c.remove) {
            EXPECT_TRUE(isCompleteJpeg(b.out + "a.jpg")) << c.name;
        }
    }
}

}  // namespace
