#include "windows/settings.h"

#include "batch/worker.h"
#include "options/catalogue.h"
#include "options/file_mask.h"
#include "options/scale_ratio.h"
#include "platform/files.h"
#include "shell/text.h"
#include "windows/ids.h"

namespace tv {

namespace {

// The list splits a row's columns at line feeds; a file name holding one
// (Linux allows it) must still show in its own column.
std::string rowName(const std::string& name) {
    std::string shown = name;
    for (char& c : shown)
        if (c == '\n' || c == '\r') c = '?';
    return shown;
}

CompressionChoice choiceFromWindow(const Program& p) {
    CompressionChoice c;
    c.rename = p.ui.getState(id::CheckboxRenameImage) != 0;
    c.mask = p.ui.getText(id::StringFileName);
    c.otherFolder = p.ui.getState(id::CheckboxOtherFolder) != 0;
    c.folder = p.ui.getText(id::StringOtherFolder);
    return c;
}

}  // namespace

bool chooseScaleRatio(Program& p, int row) {
    if (row >= 1 && row <= 10) {
        p.ScaleRatio.store(presetScale(row));
        return true;
    }
    return parseScaleRatio(p);
}

bool parseScaleRatio(Program& p) {
    const RatioParse parsed = parseRatioText(p.ui.getText(id::StringRatio));
    if (!parsed.ok) {
        showWarning(p, p.texts.lookup("Info.NewSize.ErrorPrefix") + ": " + p.texts.lookup(parsed.errorKey), mb::Ok);
        return false;
    }
    p.ScaleRatio.store(parsed.ratio);
    const std::string message = p.texts.lookup("Info.NewSize.Message") + "\r\n" + p.texts.lookup("Info.Continue");
    const int choice = showWarning(p, replaceAll(message, "#", percentText(parsed.ratio)), mb::YesNoCancel);
    if (choice == answer::Yes) return true;
    if (choice == answer::No) endProgram(p);
    return false;
}

void buildCatalogue(Program& p) {
    WindowSystem& ui = p.ui;
    ui.hideWindow(id::WndMain, true);

    const std::string typed = ui.getText(id::StringPath);
    p.run.sourceFolder = sourceFolderFrom(typed);
    p.run.outputExtension = ui.getText(id::ComboFormat);
    if (ui.getState(id::CheckboxExtensionCase) != 0) p.run.outputExtension = asciiLower(p.run.outputExtension);
    p.run.compressionLevel = integerValue(ui.getText(id::ComboCompression));

    ui.hideWindow(id::WndList, false);
    ui.activateWindow(id::WndList);

    FolderListing listing = listImageFolder(p, typed);
    if (listing.hasVideo) ui.hideGadget(id::TextContainsVideo, false);
    p.catalogue = std::move(listing.images);
    if (p.catalogue.empty()) {
        const std::string text = p.texts.lookup("Info.EmptyFolder1") + "\r\n  " + p.texts.lookup("Info.EmptyFolder2");
        ui.messageBox(ProductName, text, mb::Ok | mb::IconNone);
        endProgram(p);
        return;
    }
    for (const ImageEntry& entry : p.catalogue) {
        const std::int64_t size = platform::fileSize(p.run.sourceFolder + entry.name);
        ui.addItem(id::ListImgList, -1, rowName(entry.name) + "\n" + formatSize(p, size));
        const int rowIndex = ui.countItems(id::ListImgList) - 1;
        if (rowIndex >= 0) ui.setItemState(id::ListImgList, rowIndex, row::Ticked);
    }
}

bool validateCompressionOptions(Program& p) {
    char forbidden = 0;
    const std::string key = compressionOptionsError(choiceFromWindow(p), forbidden);
    if (key.empty()) return true;
    showWarning(p, replaceAll(p.texts.lookup(key), "%", std::string(1, forbidden)), mb::Ok);
    return false;
}

std::string buildOutputTemplate(Program& p, const std::string& outputExtension) {
    return outputTemplate(choiceFromWindow(p), outputExtension);
}

void copyRunSettings(Program& p) {
    RunSettings& run = p.run;
    run.startNumber = StartNumberFromText(p.ui.getText(id::SpinCount));
    run.removeSources = p.ui.getState(id::CheckboxDeleteImage) != 0;
    run.ticked.assign(p.catalogue.size(), 0);
    for (std::size_t i = 0; i < p.catalogue.size(); ++i)
        run.ticked[i] = (p.ui.getItemState(id::ListImgList, static_cast<int>(i)) & row::Ticked) ? 1 : 0;
    run.stored = storedOptionsFromWindows(p);
    run.openFolderWanted = [&p] { return p.ui.getState(id::CheckboxOpenFolder) != 0; };
}

StoredOptions storedOptionsFromWindows(const Program& p) {
    StoredOptions s = p.stored;
    const int controls[5] = {id::ComboCompression, id::CheckboxRenameImage, id::CheckboxOtherFolder,
                             id::CheckboxDeleteImage, id::CheckboxExtensionCase};
    for (int i = 0; i < 5; ++i) s.bytes[i] = static_cast<std::uint8_t>(p.ui.getState(controls[i]) & 0xFF);
    return s;
}

}  // namespace tv
