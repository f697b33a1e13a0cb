// The compression worker: runs on its own thread for one batch.
#pragma once

#include <cstdint>
#include <string>

#include "batch/placement.h"
#include "shell/program.h"

namespace tv {

// The thread body. Sets p.WorkerFinished as its last act, also when the
// batch was stopped.
int RunBatch(Program& p, std::string outputTarget);
// The same with other file operations (tests inject failures through them).
int RunBatch(Program& p, std::string outputTarget, const FileOps& ops);

// Digits of start + entryCount - 1, at least 3.
int NumberWidth(std::int64_t start, std::int64_t entryCount);
// The "#" of the file-name part (after the last "/") replaced by the number
// padded with zeros to width.
std::string ExpandFileNameMask(const std::string& text, std::int64_t number, int width);
// The start number from the text of the start field: its integer value
// (0 when it is not a number), at least 1.
std::int64_t StartNumberFromText(const std::string& text);
// The output path of one image by the form of the target.
std::string OutputPathFor(const std::string& sourceFolder, const std::string& fileName,
                          const std::string& outputTarget, const std::string& outputExtension, std::int64_t number,
                          int width);
// Width or height after scaling by ratio: (double)ratio * size rounded to
// the nearest integer, halves to even; out-of-range results fail the resize.
int ScaledSize(float ratio, int size);

// Up to five loads, one right after the other; NoImage when all failed or
// the batch was stopped. loaded describes the file that was read.
img::ImageHandle LoadImageWithRetry(Program& p, const std::string& path, const FileOps& ops,
                                    platform::FileStamp& loaded);

// One ticked entry: load, place, resize, save, date, remove the source.
ImageOutcome ProcessImage(Program& p, const std::string& fileName, const std::string& outputTarget,
                          std::int64_t number, int width, BatchFiles& files);
// The same, telling what became of it (sizes, the last output path).
ImageOutcome ProcessImage(Program& p, const std::string& fileName, const std::string& outputTarget,
                          std::int64_t number, int width, BatchFiles& files, PhotoReport& report);

}  // namespace tv
