// No photo is ever lost: every file operation of a batch is made to fail,
// or the batch is stopped at it, one after the other; afterwards every
// source and every file that stood at an output path is intact, or was
// replaced by a complete new picture, and no partial file is anywhere.
#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <set>
#include <thread>

#include "batch_support.h"

using namespace batchtest;
namespace answer = tv::answer;

namespace {

enum class Mode { StopDuring, StopInstead, Fail };

const char* modeName(Mode m) {
    switch (m) {
    case Mode::StopDuring: return "stop during";
    case Mode::StopInstead: return "stop instead";
    case Mode::Fail: return "fail";
    }
    return "";
}

struct Scenario {
    const char* name;
    // Makes the files and catalogue; returns the target.
    std::function<std::string(Bench&)> setUp;
    bool removeSource;
    // source path -> output path, for the removal rule.
    std::function<std::map<std::string, std::string>(Bench&)> outputs;
};

// Gives up at every question except the overwrite question, answered Yes.
int giveUpButOverwrite(const Bench& b, const Request& r) {
    if (r.title == "Tarvolin - " + b.text("Info.FileOverwrite.Title")) return answer::Yes;
    unsigned buttons = r.type & tv::mb::ButtonMask;
    if (buttons == tv::mb::YesNoCancel) return answer::Cancel;
    if (buttons == tv::mb::YesNo) return answer::No;
    return answer::Ok;
}

std::vector<Scenario> scenarios() {
    return {
        {"same file",
         [](Bench& b) {
             b.addJpeg("a.jpg", 20, 10, 1);
             return std::string();
         },
         false, [](Bench& b) { return std::map<std::string, std::string>{{b.src + "a.jpg", b.src + "a.jpg"}}; }},
        {"same file by case, remove on",
         [](Bench& b) {
             b.addJpeg("B.JPG", 20, 10, 1);
             return std::string();
         },
         true, [](Bench& b) { return std::map<std::string, std::string>{{b.src + "B.JPG", b.src + "B.jpg"}}; }},
        {"overwrite, remove on",
         [](Bench& b) {
             b.addJpeg("s.jpg", 20, 10, 1);
             writeJpeg(b.out + "o.jpg", 6, 6, 2);
             return b.out + "o.jpg";
         },
         true, [](Bench& b) { return std::map<std::string, std::string>{{b.src + "s.jpg", b.out + "o.jpg"}}; }},
        {"two images to a folder, remove on",
         [](Bench& b) {
             b.addJpeg("p.jpg", 20, 10, 1);
             b.addJpeg("q.jpg", 12, 10, 3);
             writeJpeg(b.out + "q.jpg", 6, 6, 2);
             return b.out;
         },
         true,
         [](Bench& b) {
             return std::map<std::string, std::string>{{b.src + "p.jpg", b.out + "p.jpg"},
                                                       {b.src + "q.jpg", b.out + "q.jpg"}};
         }},
    };
}

}  // namespace

TEST(NothingLost, EveryOperationFailingOrStoppedInTurn) {
    int runs = 0;
    for (const Scenario& sc : scenarios()) {
        for (Mode mode : {Mode::StopDuring, Mode::StopInstead, Mode::Fail}) {
            for (int n = 1; n < 200; ++n) {
                Bench b;
                ASSERT_TRUE(b.textsLoaded);
                std::string target = sc.setUp(b);
                b.p.run.removeSources = sc.removeSource;
                b.ui.policy = [&b](const Request& r) { return giveUpButOverwrite(b, r); };
                auto before = snapshot({b.src, b.out});

                int calls = 0;
                bool hit = false;
                auto trigger = [&]() {
                    if (++calls != n) return false;
                    hit = true;
                    if (mode != Mode::Fail) tv::stopWorker(b.p);
                    return mode != Mode::StopDuring;
                };
                tv::FileOps real = tv::platformFileOps();
                b.ops.fileSize = [&, real](const std::string& p) {
                    trigger();  // a size query is never made to lie
                    return real.fileSize(p);
                };
                b.ops.loadImage = [&, real](tv::img::Engine& e, const std::string& p, tv::platform::FileStamp& s) {
                    return trigger() ? tv::img::NoImage : real.loadImage(e, p, s);
                };
                b.ops.holdOf = [&, real](const std::string& p) {
                    return trigger() ? tv::platform::Hold::InUse : real.holdOf(p);
                };
                b.ops.createTemp = [&, real](const std::string& p, bool priv, tv::platform::TempFile& t) {
                    return trigger() ? false : real.createTemp(p, priv, t);
                };
                b.ops.flushFile = [&, real](const tv::platform::TempFile& t) {
                    return trigger() ? false : real.flushFile(t);
                };
                b.ops.renameFile = [&, real](const std::string& f, const std::string& t) {
                    return trigger() ? false : real.renameFile(f, t);
                };
                b.ops.flushFolder = [&, real](const std::string& f) {
                    return trigger() ? false : real.flushFolder(f);
                };
                b.ops.deleteFile = [&, real](const std::string& p) {
                    return trigger() ? false : real.deleteFile(p);
                };
                b.ops.saveImage = [&, real](tv::img::Engine& e, tv::img::ImageHandle h, const std::string& p,
                                            std::uint32_t enc, int opt) {
                    if (trigger()) {
                        writeBytes(p, "\xFF\xD8\xFF\xE0 truncated");  // disk full half-way
                        return 0;
                    }
                    return real.saveImage(e, h, p, enc, opt);
                };
                b.run(target);
                ++runs;
                std::string where = std::string(sc.name) + ", " + modeName(mode) + " at operation " + std::to_string(n);
                expectNothingLost(before, snapshot({b.src, b.out}), sc.outputs(b), sc.removeSource, where);
                if (mode != Mode::Fail && hit) {
                    EXPECT_FALSE(exists(b.work + "data.tvl")) << where << ": options saved after a stop";
                }
                if (!hit) break;  // the batch made fewer than n operations
                if (::testing::Test::HasFailure()) return;
            }
        }
    }
    EXPECT_GT(runs, 40);
    std::printf("%d runs\n", runs);
}

TEST(NothingLost, EncoderFailingHalfWayThroughTheFile) {
    Bench b;
    ASSERT_TRUE(b.textsLoaded);
    // The registered JPEG encoder writes half a file, then reports failure.
    bool replaced = false;
    for (auto& enc : b.p.engine.encoders) {
        if (enc.id != tv::img::JpegEncoderId) continue;
        enc.encode_rgb = [](const char* path, const std::uint8_t*, int, int, int, int, int, int, const tv::img::Image*,
                            const tv::img::Engine*) {
            writeBytes(path, "\xFF\xD8\xFF\xE0half");
            return 0;
        };
        replaced = true;
    }
    ASSERT_TRUE(replaced);
    b.addJpeg("a.jpg", 9, 9);
    b.addJpeg("s.jpg", 9, 9, 2);
    ASSERT_TRUE(writeJpeg(b.out + "a.jpg", 4, 4, 7));
    auto before = snapshot({b.src, b.out});
    b.p.run.removeSources = true;
    b.ui.answer(answer::Yes);     // a.jpg: overwrite the old output
    b.ui.answer(answer::No);      // save failed: try again
    b.ui.answer(answer::Cancel);  // then give up
    b.ui.answer(answer::Cancel);  // s.jpg: give up at once
    b.run(b.out);
    EXPECT_EQ(b.ui.log().size(), 4u);
    EXPECT_EQ(snapshot({b.src, b.out}), before);
}

TEST(NothingLost, StopAnsweringTheOverwriteQuestionYes) {
    Bench b;
    ASSERT_TRUE(b.textsLoaded);
    b.addJpeg("s.jpg");
    b.addJpeg("t.jpg");
    ASSERT_TRUE(writeJpeg(b.out + "o001.jpg", 4, 4, 7));
    auto before = snapshot({b.src, b.out});
    b.ui.answer(answer::Yes, [&] { tv::stopWorker(b.p); });
    b.run(b.out + "o#.jpg");
    EXPECT_EQ(snapshot({b.src, b.out}), before);
    EXPECT_EQ(b.ui.log().size(), 1u);
    EXPECT_EQ(b.p.ProcessedCount.load(), 0);
}

TEST(NothingLost, StopInsideTheSaveUsesTheEngineCancel) {
    Bench b;
    ASSERT_TRUE(b.textsLoaded);
    b.addJpeg("a.jpg", 300, 200);
    auto before = snapshot({b.src, b.out});
    auto real = b.ops.saveImage;
    bool cancelSeen = false;
    b.ops.saveImage = [&](tv::img::Engine& e, tv::img::ImageHandle h, const std::string& p, std::uint32_t enc,
                          int opt) {
        EXPECT_TRUE(static_cast<bool>(e.cancel));
        if (e.cancel) {
            EXPECT_FALSE(e.cancel());
        }
        tv::stopWorker(b.p);
        cancelSeen = e.cancel && e.cancel();
        return real(e, h, p, enc, opt);
    };
    b.run("");
    EXPECT_TRUE(cancelSeen);
    // Whether the encoder noticed the stop or finished first, a.jpg is whole.
    EXPECT_TRUE(isCompleteJpeg(b.src + "a.jpg"));
    EXPECT_TRUE(hiddenNames(b.src).empty());
    EXPECT_FALSE(b.p.engine.cancel && b.p.engine.cancel()) << "the batch's cancel check stays behind";
    (void)before;
}

TEST(Gate, PausedWorkerWaitsAndGoesOnWhenContinued) {
    Bench b;
    ASSERT_TRUE(b.textsLoaded);
    b.addJpeg("a.jpg");
    b.addJpeg("b.jpg");
    tv::pauseWorker(b.p);
    std::thread worker([&] { tv::RunBatch(b.p, b.out, b.ops); });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(b.p.ProcessedCount.load(), 0);
    EXPECT_EQ(b.p.WorkerFinished.load(), 0);
    EXPECT_TRUE(listNames(b.out).empty());
    tv::continueWorker(b.p);
    worker.join();
    EXPECT_EQ(b.p.ProcessedCount.load(), 2);
    EXPECT_EQ(b.p.WorkerFinished.load(), 1);
    EXPECT_EQ(listNames(b.out).size(), 2u);
}

TEST(Gate, StopWhilePausedEndsWithoutWork) {
    Bench b;
    ASSERT_TRUE(b.textsLoaded);
    b.addJpeg("a.jpg");
    b.openFolderBox = true;
    tv::pauseWorker(b.p);
    std::thread worker([&] { tv::RunBatch(b.p, b.out, b.ops); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    tv::stopWorker(b.p);
    worker.join();
    EXPECT_EQ(b.p.WorkerFinished.load(), 1);
    EXPECT_TRUE(listNames(b.out).empty());
    EXPECT_TRUE(b.opened.empty());
    EXPECT_FALSE(exists(b.work + "data.tvl"));
}

TEST(Gate, ShutdownDuringAQuestionDoesNotLoop) {
    // A file that can never be saved: without the stop the question would
    // come back for ever; the shutdown answers every later requester at once.
    Bench b;
    ASSERT_TRUE(b.textsLoaded);
    b.addJpeg("a.jpg");
    b.addJpeg("b.jpg");
    std::string source = readBytes(b.src + "a.jpg");
    b.ops.saveImage = [](tv::img::Engine&, tv::img::ImageHandle, const std::string&, std::uint32_t, int) { return 0; };
    b.ui.answer(answer::No);
    b.ui.answer(answer::No, [&] {
        tv::stopWorker(b.p);
        b.ui.shutdown();
    });
    auto done = std::async(std::launch::async, [&] { return tv::RunBatch(b.p, "", b.ops); });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "the worker kept looping";
    EXPECT_EQ(b.p.WorkerFinished.load(), 1);
    EXPECT_EQ(readBytes(b.src + "a.jpg"), source);
    EXPECT_TRUE(hiddenNames(b.src).empty());
    EXPECT_EQ(b.ui.log().size(), 2u);
}

namespace {

// Stops the batch from inside the engine's long loops: the n-th cancel check
// the engine makes from now on stops the worker, so the stop lands in the
// middle of a decode, resize or encode however fast the machine is.
void stopAtEngineCheck(Bench& b, tv::img::Engine& e, int n) {
    auto inner = e.cancel;
    e.cancel = [&b, inner, n, checks = 0]() mutable {
        if (++checks == n) tv::stopWorker(b.p);
        return inner ? inner() : false;
    };
}

}  // namespace

// A stop while a photo is being decoded, resized or encoded ends the
// engine's loop through the cancel check instead of waiting for the whole
// picture, and asks nothing.
TEST(Gate, StopWhileDecodingAPhoto) {
    Bench b;
    ASSERT_TRUE(b.textsLoaded);
    b.addJpeg("big.jpg", 1200, 800);
    std::string source = readBytes(b.src + "big.jpg");
    int loaded = -1;
    auto real = b.ops.loadImage;
    b.ops.loadImage = [&](tv::img::Engine& e, const std::string& path, tv::platform::FileStamp& s) {
        stopAtEngineCheck(b, e, 3);  // past the checks before the first row
        loaded = real(e, path, s);
        return loaded;
    };
    b.run(b.out);
    EXPECT_EQ(loaded, tv::img::NoImage) << "the decode ran to its end despite the stop";
    EXPECT_TRUE(listNames(b.out).empty());
    EXPECT_EQ(readBytes(b.src + "big.jpg"), source);
    EXPECT_TRUE(b.ui.log().empty());
}

TEST(Gate, StopWhileEncodingAPhotoOverItself) {
    Bench b;
    ASSERT_TRUE(b.textsLoaded);
    b.addJpeg("big.jpg", 1200, 800);
    std::string source = readBytes(b.src + "big.jpg");
    int saved = -1;
    auto real = b.ops.saveImage;
    b.ops.saveImage = [&](tv::img::Engine& e, tv::img::ImageHandle h, const std::string& path, std::uint32_t enc,
                          int opt) {
        stopAtEngineCheck(b, e, 2);
        saved = real(e, h, path, enc, opt);
        return saved;
    };
    b.p.run.removeSources = true;
    b.run("");  // over itself: the source stays in place during the save
    EXPECT_EQ(saved, 0) << "the encode ran to its end despite the stop";
    EXPECT_EQ(readBytes(b.src + "big.jpg"), source);
    EXPECT_EQ(listNames(b.src), (std::vector<std::string>{"big.jpg"}));
    EXPECT_TRUE(hiddenNames(b.src).empty());
}

TEST(Gate, StopWhileResizingAPhotoAsksNothing) {
    Bench b;
    ASSERT_TRUE(b.textsLoaded);
    b.addJpeg("big.jpg", 1200, 800);
    std::string source = readBytes(b.src + "big.jpg");
    b.p.ScaleRatio = 0.37f;
    auto real = b.ops.loadImage;
    b.ops.loadImage = [&](tv::img::Engine& e, const std::string& path, tv::platform::FileStamp& s) {
        tv::img::ImageHandle h = real(e, path, s);
        stopAtEngineCheck(b, e, 3);  // the resize comes next
        return h;
    };
    bool saved = false;
    b.ops.saveImage = [&](tv::img::Engine&, tv::img::ImageHandle, const std::string&, std::uint32_t, int) {
        saved = true;
        return 0;
    };
    b.run(b.out);
    EXPECT_FALSE(saved);
    EXPECT_TRUE(b.ui.log().empty()) << "a stopped resize is no resize failure";
    EXPECT_EQ(b.p.ResizeFailureCount, 0);
    EXPECT_TRUE(listNames(b.out).empty());
    EXPECT_EQ(readBytes(b.src + "big.jpg"), source);
}
