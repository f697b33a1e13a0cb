#include "batch/worker.h"

#include <climits>
#include <cmath>
#include <cstdint>

#include "platform/desktop.h"
#include "platform/file_state.h"
#include "platform/files.h"
#include "shell/stored_options.h"
#include "ui/window_system.h"

namespace tv {

namespace {

// Start numbers are held below this, so that start + entries - 1 and the
// numbers themselves stay far inside 64 bits.
constexpr std::int64_t MaxStart = 999'999'999'999'999'999LL;

int decimalDigits(std::int64_t v) {
    if (v <= 0) return 1;
    int n = 0;
    while (v > 0) {
        v /= 10;
        ++n;
    }
    return n;
}

std::string paddedNumber(std::int64_t number, int width) {
    unsigned long long magnitude =
        number < 0 ? 0ULL - static_cast<unsigned long long>(number) : static_cast<unsigned long long>(number);
    std::string digits = std::to_string(magnitude);
    if (width > 0 && digits.size() < static_cast<std::size_t>(width))
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    return digits;
}

void releaseImage(Program& p, img::ImageHandle& image) {
    if (image != img::NoImage) img::image_free(p.engine, image);
    image = img::NoImage;
}

// Resizes by the current ScaleRatio; a failure is told to the user and the
// image goes on at its former size. False when the batch was stopped.
bool resizeStep(Program& p, img::ImageHandle image, const std::string& fileName) {
    float ratio = p.ScaleRatio.load();
    if (ratio == 1.0f) return true;
    int w = ScaledSize(ratio, img::image_width(p.engine, image));
    int h = ScaledSize(ratio, img::image_height(p.engine, image));
    if (img::image_resize(p.engine, image, w, h) != 0) return true;
    // A resize abandoned by Stop is no failure to tell about.
    if (workerShouldStop(p)) return false;
    const std::string caption = std::string(ProductName) + " - " + p.texts.lookup("Error");
    if (p.ResizeFailureCount == 0) {
        std::string message = replaceAll(
            p.texts.lookup("Info.UnableRedimImage") + "\r\n" + p.texts.lookup("Info.DisableImageRedim"), "%", fileName);
        int a = askWorkerQuestion(p, Question::ResizeFailed, fileName, caption, message, mb::YesNo | mb::IconWarning);
        if (workerShouldStop(p)) return false;
        if (a == answer::Yes) p.ScaleRatio.store(1.0f);
    } else {
        askWorkerQuestion(p, Question::ResizeFailed, fileName, caption,
                          replaceAll(p.texts.lookup("Info.UnableRedimImage"), "%", fileName), mb::Ok | mb::IconWarning);
    }
    p.ResizeFailureCount += 1;
    return !workerShouldStop(p);
}

}  // namespace

int NumberWidth(std::int64_t start, std::int64_t entryCount) {
    std::int64_t last;
    if (__builtin_add_overflow(start, entryCount, &last) || __builtin_sub_overflow(last, 1, &last))
        last = (entryCount > 0) ? INT64_MAX : 0;
    int digits = decimalDigits(last);
    return digits < 3 ? 3 : digits;
}

std::string ExpandFileNameMask(const std::string& text, std::int64_t number, int width) {
    std::size_t slash = text.rfind(platform::Separator);
    std::size_t nameStart = (slash == std::string::npos) ? 0 : slash + 1;
    std::string number_text = paddedNumber(number, width);
    std::string out = text.substr(0, nameStart);
    for (std::size_t i = nameStart; i < text.size(); ++i) {
        if (text[i] == '#')
            out += number_text;
        else
            out += text[i];
    }
    return out;
}

std::int64_t StartNumberFromText(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < MaxStart) value = value * 10 + (text[i] - '0');
        if (value > MaxStart) value = MaxStart;
    }
    if (negative || value < 1) return 1;
    return value;
}

std::string OutputPathFor(const std::string& sourceFolder, const std::string& fileName,
                          const std::string& outputTarget, const std::string& outputExtension, std::int64_t number,
                          int width) {
    std::size_t dot = fileName.rfind('.');
    std::string stem = (dot == std::string::npos) ? fileName + "." : fileName.substr(0, dot + 1);
    if (outputTarget.empty()) return sourceFolder + stem + outputExtension;
    if (outputTarget.back() == platform::Separator) return outputTarget + stem + outputExtension;
    if (outputTarget.find(platform::Separator) != std::string::npos)
        return ExpandFileNameMask(outputTarget, number, width);
    return sourceFolder + ExpandFileNameMask(outputTarget, number, width);
}

int ScaledSize(float ratio, int size) {
    double v = static_cast<double>(ratio) * size;
    if (std::isnan(v) || v <= 0.0) return 0;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    // llrint rounds halves to the even neighbour in the default mode.
    return static_cast<int>(std::llrint(v));
}

img::ImageHandle LoadImageWithRetry(Program& p, const std::string& path, const FileOps& ops,
                                    platform::FileStamp& loaded) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (workerShouldStop(p)) return img::NoImage;
        img::ImageHandle h = ops.loadImage(p.engine, path, loaded);
        if (h != img::NoImage) return h;
    }
    return img::NoImage;
}

ImageOutcome ProcessImage(Program& p, const std::string& fileName, const std::string& outputTarget,
                          std::int64_t number, int width, BatchFiles& files) {
    PhotoReport report;
    return ProcessImage(p, fileName, outputTarget, number, width, files, report);
}

ImageOutcome ProcessImage(Program& p, const std::string& fileName, const std::string& outputTarget,
                          std::int64_t number, int width, BatchFiles& files, PhotoReport& report) {
    const std::string sourcePath = p.run.sourceFolder + fileName;
    img::ImageHandle image = img::NoImage;
    platform::FileStamp loaded;
    for (;;) {
        image = LoadImageWithRetry(p, sourcePath, files.ops, loaded);
        if (image != img::NoImage) break;
        if (workerShouldStop(p)) return ImageOutcome::Stopped;
        std::string message = replaceAll(p.texts.lookup("Info.LoadImageFailed.Text2"), "%", fileName) + "\n" +
                              p.texts.lookup("Info.TryAgain");
        int a = askWorkerQuestion(p, Question::LoadFailed, fileName, ProductName, message, mb::YesNo | mb::IconWarning);
        if (workerShouldStop(p)) return ImageOutcome::Stopped;
        if (a == answer::No) return ImageOutcome::Skipped;
    }
    // Before anything is written, so an image written over its own source
    // keeps the source's dates.
    SourceDates dates;
    dates.creation = platform::readFileDate(sourcePath, platform::DateKind::Creation);
    dates.modification = platform::readFileDate(sourcePath, platform::DateKind::Modification);

    report.width = img::image_width(p.engine, image);
    report.height = img::image_height(p.engine, image);
    Placement placement(files, sourcePath, loaded);
    auto giveUp = [&]() {
        releaseImage(p, image);
        return workerShouldStop(p) ? ImageOutcome::Stopped : ImageOutcome::GivenUp;
    };
    if (workerShouldStop(p)) return giveUp();

    std::string& outputPath = report.outputPath;
    outputPath = OutputPathFor(p.run.sourceFolder, fileName, outputTarget, p.run.outputExtension, number, width);
    if (!ResolveOutputCollision(p, outputPath, image, placement)) return giveUp();
    if (workerShouldStop(p)) return giveUp();
    if (!resizeStep(p, image, fileName)) return giveUp();

    int saved = SaveWithRetry(p, image, outputPath, p.run.outputExtension, p.run.compressionLevel, dates, placement);
    releaseImage(p, image);
    if (saved != 1) return giveUp();

    if (workerShouldStop(p)) return ImageOutcome::Saved;
    // Saved over its own source (under whatever spelling): nothing to remove.
    if (p.run.removeSources &&
        !platform::sameFile(platform::stampOf(outputPath), platform::stampOf(sourcePath)))
        report.sourceRemoved = RemoveSourceImage(p, placement);
    return ImageOutcome::Saved;
}

int RunBatch(Program& p, std::string outputTarget) { return RunBatch(p, std::move(outputTarget), platformFileOps()); }

int RunBatch(Program& p, std::string outputTarget, const FileOps& ops) {
    const std::string target = std::move(outputTarget);
    // Long engine loops pause and abandon through the same gate.
    img::CancelCheck previousCancel = p.engine.cancel;
    p.engine.cancel = [&p]() { return workerShouldStop(p); };

    BatchFiles files(ops);
    bool stopped = workerShouldStop(p);
    if (!stopped) {
        if (target.find(platform::Separator) != std::string::npos) platform::makeSurePathExists(target);
        const std::int64_t start = p.run.startNumber < 1 ? 1 : p.run.startNumber;
        const int width = NumberWidth(start, static_cast<std::int64_t>(p.catalogue.size()));
        for (std::size_t index = 0; index < p.catalogue.size(); ++index) {
            if (workerShouldStop(p)) {
                stopped = true;
                break;
            }
            if (index >= p.run.ticked.size() || p.run.ticked[index] == 0) continue;
            // Copied: the catalogue entry must not change under a question.
            const std::string name = p.catalogue[index].name;
            PhotoReport report;
            report.index = index;
            report.name = name;
            report.number = start + p.ProcessedCount.load();
            if (p.photoStarting) p.photoStarting(index, name, report.number);
            report.outcome = ProcessImage(p, name, target, report.number, width, files, report);
            if (p.photoDone) p.photoDone(report);
            if (report.outcome == ImageOutcome::Stopped || workerShouldStop(p)) {
                stopped = true;
                break;
            }
            p.ProcessedCount.fetch_add(1);
        }
    }
    if (!stopped && !workerShouldStop(p)) {
        if (p.run.openFolderWanted && p.run.openFolderWanted()) {
            if (p.openFolder)
                p.openFolder(p.run.destinationFolder);
            else
                platform::openFolder(p.run.destinationFolder);
        }
        if (p.run.rememberOptions) saveStoredOptions(p, p.run.stored);
    }
    p.engine.cancel = previousCancel;
    // The pages kept between pictures are of no use while the user waits.
    img::image_release_spare(p.engine);
    p.WorkerFinished.store(1);
    return 0;
}

}  // namespace tv
