#include "windows/windows.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "options/file_mask.h"
#include "options/scale_ratio.h"
#include "platform/files.h"
#include "shell/text.h"
#include "windows/ids.h"
#include "windows/settings.h"

namespace tv {

namespace {

std::string text(const Program& p, std::string_view key) { return p.texts.lookup(key); }

std::string titled(const Program& p, std::string_view key) {
    return std::string(ProductName) + " - " + text(p, key);
}

constexpr unsigned ShownFlags = wflag::TitleBar | wflag::Centered;
constexpr unsigned HiddenFlags = wflag::TitleBar | wflag::Centered | wflag::Invisible;

bool isFolder(const std::string& path) { return platform::fileSize(path) == -2; }

}  // namespace

// ---------------------------------------------------------------- building

bool buildMainWindow(Program& p) {
    WindowSystem& ui = p.ui;
    if (!ui.openWindow(id::WndMain, 0, 0, 340, 200, titled(p, "Wnd.Title.Main"), ShownFlags)) return false;

    ui.frameGadget(id::FramePath, {5, 5, 330, 50}, text(p, "Frame.Path"));
    ui.stringGadget(id::StringPath, {10, 25, 230, 22}, p.defaultFolder);
    ui.buttonGadget(id::ButtonBrowse, {245, 25, 40, 22}, "...");
    ui.buttonGadget(id::ButtonPaste, {290, 25, 40, 22}, "Ctrl+V");

    ui.frameGadget(id::FrameQuality, {5, 60, 330, 50}, text(p, "Frame.Quality"));
    ui.textGadget(id::TextFormat, {15, 85, 100, 15}, text(p, "Text.Format") + " :", Align::Left);
    ui.comboGadget(id::ComboFormat, {75, 82, 60, 20});
    for (const char* row : {"JPG", "PNG", "BMP"}) ui.addItem(id::ComboFormat, -1, row);
    ui.setState(id::ComboFormat, 0);
    ui.textGadget(id::TextCompression, {190, 85, 130, 15}, text(p, "Text.Compression") + " :", Align::Left);
    ui.comboGadget(id::ComboCompression, {260, 82, 60, 20});
    for (int level = 0; level <= 10; ++level) ui.addItem(id::ComboCompression, -1, std::to_string(level));
    // A stored row outside 0..10 is handed to the combo as it is.
    ui.setState(id::ComboCompression, p.stored.bytes[0]);

    ui.frameGadget(id::FrameSize, {5, 115, 330, 50}, text(p, "Frame.Size"));
    ui.textGadget(id::TextSize, {15, 140, 90, 15}, text(p, "Text.Size"), Align::Left);
    ui.comboGadget(id::ComboSize, {110, 137, 55, 20});
    ui.addItem(id::ComboSize, -1, text(p, "Combo.Size.Other"));
    for (int row = 1; row <= 10; ++row) ui.addItem(id::ComboSize, -1, presetLabel(row));
    ui.setState(id::ComboSize, 6);
    ui.textGadget(id::TextRatio, {195, 140, 40, 15}, text(p, "Text.Ratio") + ":", Align::Left);
    ui.hideGadget(id::TextRatio, true);
    ui.stringGadget(id::StringRatio, {235, 137, 60, 20}, "100%");
    ui.hideGadget(id::StringRatio, true);
    ui.setToolTip(id::StringRatio, text(p, "ToolTip.Ratio"));

    ui.buttonGadget(id::ButtonList, {10, 170, 240, 24}, text(p, "Button.List"));
    // Without the font the button keeps the default one.
    if (FontId font = ui.loadFont("Palatino Linotype", 11, true); font != 0) ui.setFont(id::ButtonList, font);
    ui.textGadget(id::TextVersion, {255, 180, 77, 20}, replaceAll(text(p, "Text.Version"), "#", VersionText),
                  Align::Right);
    return true;
}

bool buildListWindow(Program& p) {
    WindowSystem& ui = p.ui;
    if (!ui.openWindow(id::WndList, 0, 0, 460, 340, titled(p, "Wnd.Title.List"), HiddenFlags)) return false;

    ui.listGadget(id::ListImgList, {10, 10, 440, 270}, text(p, "ListIcon.ImgList.File"), 355, 0);
    ui.addColumn(id::ListImgList, 1, text(p, "ListIcon.ImgList.Size"), 80);
    ui.textGadget(id::TextContainsVideo, {80, 285, 300, 14}, text(p, "Info.ContainsVideo"), Align::Center);
    ui.hideGadget(id::TextContainsVideo, true);
    ui.setColour(id::TextContainsVideo, colour_which::Text, 0x0000FF);
    ui.setColour(id::TextContainsVideo, colour_which::Background, 0x00FFFF);
    ui.buttonGadget(id::ButtonChangeBefore, {10, 310, 100, 24}, text(p, "Button.ChangeBefore"));
    ui.buttonGadget(id::ButtonChangeAfter, {120, 310, 100, 24}, text(p, "Button.ChangeAfter"));
    ui.buttonGadget(id::ButtonNext, {380, 310, 70, 24}, text(p, "Button.Next"));

    ui.disableGadget(id::ButtonChangeBefore, true);
    ui.disableGadget(id::ButtonChangeAfter, true);
    ui.setToolTip(id::ButtonChangeBefore, text(p, "ToolTip.ChangeBefore"));
    ui.setToolTip(id::ButtonChangeAfter, text(p, "ToolTip.ChangeAfter"));
    return true;
}

bool buildCompressWindow(Program& p) {
    WindowSystem& ui = p.ui;
    if (!ui.openWindow(id::WndCompress, 0, 0, 280, 220, titled(p, "Wnd.Title.Compress"), HiddenFlags))
        return false;

    ui.textGadget(id::TextParams, {10, 5, 260, 20}, "", Align::Left);
    ui.checkBoxGadget(id::CheckboxRenameImage, {10, 30, 130, 20}, text(p, "Checkbox.RenameImage"));
    ui.stringGadget(id::StringFileName, {20, 50, 250, 20}, "Nouvel album #");
    ui.textGadget(id::TextCount, {20, 80, 150, 20}, text(p, "Text.Count") + ":", Align::Left);
    ui.spinGadget(id::SpinCount, {180, 77, 90, 20}, 1, 30000, 0);
    ui.checkBoxGadget(id::CheckboxOtherFolder, {10, 100, 155, 20}, text(p, "Checkbox.OtherFolder"));
    ui.stringGadget(id::StringOtherFolder, {20, 120, 210, 20}, p.defaultFolder);
    ui.buttonGadget(id::ButtonBrowseOther, {240, 120, 30, 20}, "...");
    ui.checkBoxGadget(id::CheckboxDeleteImage, {10, 140, 155, 20}, text(p, "Checkbox.DeleteImage"));
    ui.checkBoxGadget(id::CheckboxExtensionCase, {10, 160, 145, 20}, text(p, "Checkbox.ExtensionCase"));
    ui.buttonGadget(id::ButtonLaunchCompression, {70, 190, 140, 24}, text(p, "Button.LaunchCompression"));

    const auto& b = p.stored.bytes;
    ui.setState(id::CheckboxRenameImage, b[1]);
    if (b[1] == 0) {
        ui.disableGadget(id::StringFileName, true);
        ui.disableGadget(id::SpinCount, true);
    }
    ui.setState(id::CheckboxOtherFolder, b[2]);
    if (b[2] == 0) {
        ui.disableGadget(id::StringOtherFolder, true);
        ui.disableGadget(id::ButtonBrowseOther, true);
    }
    ui.setState(id::CheckboxDeleteImage, b[3]);
    ui.setState(id::CheckboxExtensionCase, b[4]);
    ui.setState(id::SpinCount, 1);
    return true;
}

bool buildProgressWindow(Program& p) {
    WindowSystem& ui = p.ui;
    if (!ui.openWindow(id::WndProgress, 0, 0, 319, 129, ProductName, HiddenFlags)) return false;

    ui.frameGadget(id::FrameProgression, {10, 10, 300, 110}, "");
    ui.progressBarGadget(id::ProgressBarProgression, {20, 40, 270, 20}, 0, 100);
    ui.setState(id::ProgressBarProgression, 0);
    ui.textGadget(id::TextProgression, {20, 20, 120, 20}, text(p, "Text.Progression") + " :", Align::Left);
    ui.textGadget(id::TextCounter, {200, 20, 90, 20}, "", Align::Right);
    ui.checkBoxGadget(id::CheckboxOpenFolder, {20, 65, 280, 20}, text(p, "Checkbox.OpenFolder"));
    ui.buttonGadget(id::ButtonStopCompression, {120, 90, 70, 20}, text(p, "Button.StopCompression"));
    return true;
}

bool buildWindows(Program& p) {
    return buildMainWindow(p) && buildListWindow(p) && buildCompressWindow(p) && buildProgressWindow(p);
}

// ---------------------------------------------------------------- Wnd.Main

void onStringPath(Program& p) {
    // Untrimmed on purpose: the field must name the folder as it stands.
    p.ui.disableGadget(id::ButtonList, !isFolder(p.ui.getText(id::StringPath)));
}

void onButtonBrowse(Program& p) {
    std::string chosen = p.ui.folderChooser(text(p, "Info.FolderSelection"), trimSpaces(p.ui.getText(id::StringPath)));
    if (chosen.empty()) return;
    p.sourceChosenByChooser = true;
    p.ui.setText(id::StringPath, chosen);
}

void onButtonPaste(Program& p) {
    std::string clip = p.ui.clipboardText();
    if (!clip.empty()) p.ui.setText(id::StringPath, clip);
}

void onComboFormat(Program& p) {
    std::string format = p.ui.getText(id::ComboFormat);
    p.ui.disableGadget(id::ComboCompression, !(format == "JPEG" || format == "JPG"));
}

void onComboSize(Program& p) {
    bool other = p.ui.getState(id::ComboSize) == 0;
    p.ui.hideGadget(id::TextRatio, !other);
    p.ui.hideGadget(id::StringRatio, !other);
}

void onButtonList(Program& p) {
    if (!chooseScaleRatio(p, p.ui.getState(id::ComboSize))) return;
    if (p.ended) return;
    buildCatalogue(p);
}

// ---------------------------------------------------------------- Wnd.List

void toggleRowCheck(Program& p, int rowIndex) {
    int bits = p.ui.getItemState(id::ListImgList, rowIndex);
    int selected = (bits & row::Selected) ? row::Selected : 0;
    int ticked = (bits & row::Ticked) ? 0 : row::Ticked;
    p.ui.setItemState(id::ListImgList, rowIndex, selected | ticked);
}

void onListImgList(Program& p) {
    bool none = p.ui.getState(id::ListImgList) == -1;
    p.ui.disableGadget(id::ButtonChangeBefore, none);
    p.ui.disableGadget(id::ButtonChangeAfter, none);
}

void onChangeAfter(Program& p) {
    int s = p.ui.getState(id::ListImgList);
    if (s >= 0) {
        int n = p.ui.countItems(id::ListImgList);
        for (int r = s + 1; r < n; ++r) toggleRowCheck(p, r);
    }
    p.ui.setFocus(id::ListImgList);
}

void onChangeBefore(Program& p) {
    int s = p.ui.getState(id::ListImgList);
    if (s >= 0) {
        for (int r = s - 1; r >= 0; --r) toggleRowCheck(p, r);
    }
    p.ui.setFocus(id::ListImgList);
}

void onButtonNext(Program& p) {
    p.ui.hideWindow(id::WndList, true);
    p.ProcessedCount.store(0);
    int ticked = 0;
    for (std::size_t i = 0; i < p.catalogue.size(); ++i) {
        if (p.ui.getItemState(id::ListImgList, static_cast<int>(i)) & row::Ticked) ++ticked;
    }
    p.TickedCount.store(ticked);
    p.ui.setText(id::TextParams, replaceAll(text(p, "Text.Params"), "%", std::to_string(ticked)));
    p.ui.hideWindow(id::WndCompress, false);
}

// ---------------------------------------------------------------- Wnd.Compress

void onCheckboxRenameImage(Program& p) {
    bool off = p.ui.getState(id::CheckboxRenameImage) == 0;
    p.ui.disableGadget(id::StringFileName, off);
    p.ui.disableGadget(id::SpinCount, off);
}

void onCheckboxOtherFolder(Program& p) {
    bool off = p.ui.getState(id::CheckboxOtherFolder) == 0;
    p.ui.disableGadget(id::StringOtherFolder, off);
    p.ui.disableGadget(id::ButtonBrowseOther, off);
}

void onButtonBrowseOther(Program& p) {
    std::string chosen =
        p.ui.folderChooser(text(p, "Info.FolderSelection"), trimSpaces(p.ui.getText(id::StringOtherFolder)));
    if (chosen.empty()) return;
    p.otherChosenByChooser = true;
    p.ui.setText(id::StringOtherFolder, chosen);
}

std::string destinationFolderFor(const Program& p, const std::string& outputTarget) {
    return destinationFolderOf(outputTarget, p.run.sourceFolder);
}

bool findWindowByTitle(Program& p, const std::string& title) {
    for (const TopLevelWindow& w : p.ui.topLevelWindows()) {
        // The walk gives titles cut as the desktop reads them (255 bytes).
        if (w.visible && !w.toolWindow && w.title == title) return true;
    }
    return false;
}

bool initialOpenFolderState(Program& p) {
    bool other = p.ui.getState(id::CheckboxOtherFolder) != 0;
    bool open = !p.otherChosenByChooser && (other != p.sourceChosenByChooser);
    if (!open) open = !findWindowByTitle(p, p.run.destinationFolder);
    return open;
}

void refreshProgress(Program& p, int processed, int total) {
    if (total <= 0) return;
    // 64-bit product: no overflow whatever the counts.
    long long percent = static_cast<long long>(processed) * 100 / total;
    p.ui.setText(id::TextCounter, std::to_string(processed) + "/" + std::to_string(total));
    p.ui.setState(id::ProgressBarProgression, static_cast<int>(percent));
    p.ui.setWindowTitle(id::WndProgress, std::to_string(percent) + "% - " + ProductName);
}

}  // namespace tv
