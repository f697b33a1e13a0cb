#include "windows/main_flow.h"

#include <string>

#include "batch/worker.h"
#include "imaging/image.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "windows/ids.h"
#include "shell/stored_options.h"
#include "windows/settings.h"
#include "windows/windows.h"

namespace tv {

namespace {

void startWorker(Program& p, const std::string& target) {
    // A thread that cannot be made leaves the program without a worker; the
    // progress window then waits for Stop or close.
    p.worker.start([&p, target] {
        if (p.runBatch)
            p.runBatch(p, target);
        else
            RunBatch(p, target);
    });
}

}  // namespace

bool startUp(Program& p) {
    prepareEngine(p);
    p.catalogue.clear();
    p.texts.clear();

    p.defaultFolder = p.picturesFolder ? p.picturesFolder() : platform::picturesFolder();
    p.ResizeFailureCount = 0;
    p.stored = loadStoredOptions(p);
    // The window system's own texts (the boxes' buttons, the folder
    // chooser) follow the program's language, not the desktop's; from here
    // on, so that even the box of a failed table load speaks it.
    p.ui.useLanguage(languageTag(p.stored.language()));
    if (!loadMessageTable(p, p.stored.language()) || p.ended) return false;

    if (!buildWindows(p)) {
        // Without its windows the program could only wait for ever.
        endProgram(p);
        return false;
    }
    saveStoredOptions(p, storedOptionsFromWindows(p));

    std::string clip = p.ui.clipboardText();
    if (!clip.empty() && platform::fileSize(clip) == -2) p.ui.setText(id::StringPath, clip);
    return true;
}

SetupStage dispatchSetupEvent(Program& p, const Event& ev, SetupStage stage) {
    if (ev.kind == EventKind::CloseWindow) {
        endProgram(p);
        return stage;
    }
    if (ev.kind != EventKind::Gadget) return stage;

    switch (stage) {
    case SetupStage::Settings:
        switch (ev.gadget) {
        case id::StringPath: onStringPath(p); break;
        case id::ButtonBrowse: onButtonBrowse(p); break;
        case id::ButtonPaste: onButtonPaste(p); break;
        case id::ComboFormat: onComboFormat(p); break;
        case id::ComboSize: onComboSize(p); break;
        case id::ButtonList:
            onButtonList(p);
            // The catalogue is filled only when the list window came up.
            if (!p.ended && !p.catalogue.empty()) return SetupStage::Listing;
            break;
        default: break;
        }
        break;
    case SetupStage::Listing:
        switch (ev.gadget) {
        case id::ListImgList: onListImgList(p); break;
        case id::ButtonChangeBefore: onChangeBefore(p); break;
        case id::ButtonChangeAfter: onChangeAfter(p); break;
        case id::ButtonNext: onButtonNext(p); return SetupStage::Options;
        default: break;
        }
        break;
    case SetupStage::Options:
        switch (ev.gadget) {
        case id::CheckboxRenameImage: onCheckboxRenameImage(p); break;
        case id::CheckboxOtherFolder: onCheckboxOtherFolder(p); break;
        case id::ButtonBrowseOther: onButtonBrowseOther(p); break;
        case id::ButtonLaunchCompression:
            if (launchCompression(p)) return SetupStage::Running;
            break;
        default: break;
        }
        break;
    case SetupStage::Running: break;
    }
    return stage;
}

bool setupLoop(Program& p) {
    SetupStage stage = SetupStage::Settings;
    while (!p.ended) {
        Event ev = p.ui.waitEvent(NoLimit);
        stage = dispatchSetupEvent(p, ev, stage);
        if (stage == SetupStage::Running && !p.ended) return true;
    }
    return false;
}

bool launchCompression(Program& p) {
    if (!validateCompressionOptions(p) || p.ended) return false;
    p.run.outputTarget = buildOutputTemplate(p, p.run.outputExtension);
    p.run.destinationFolder = destinationFolderFor(p, p.run.outputTarget);

    // The box is decided before the worker exists: a batch with nothing to
    // do reads it at once, and must see the decided state.
    p.ui.setState(id::CheckboxOpenFolder, initialOpenFolderState(p) ? 1 : 0);

    copyRunSettings(p);
    p.WorkerFinished.store(0);
    startWorker(p, p.run.outputTarget);

    p.ui.hideWindow(id::WndCompress, true);
    p.ui.hideWindow(id::WndProgress, false);
    p.lastRefresh = 0;
    return true;
}

void stopCompression(Program& p) {
    pauseWorker(p);
    std::string caption = std::string(ProductName) + " - " + p.texts.lookup("Info.StopThread.Title");
    int answer = p.ui.messageBox(caption, p.texts.lookup("Info.StopThread.Message"), mb::YesNo | mb::IconNone);
    if (answer == answer::Yes) {
        endProgram(p);
        return;
    }
    continueWorker(p);
}

bool refreshDue(bool refreshedBefore, std::uint32_t lastRefresh, std::uint32_t now) {
    if (!refreshedBefore) return true;
    // Unsigned difference: right across the wrap of the tick count.
    return static_cast<std::uint32_t>(now - lastRefresh) > 500u;
}

void runLoop(Program& p) {
    bool refreshed = false;
    while (!p.ended && p.WorkerFinished.load() == 0) {
        Event ev = p.ui.waitEvent(50);
        std::uint32_t now = p.ui.tickCount();
        if (ev.kind == EventKind::CloseWindow) {
            stopWorker(p);
            endProgram(p);
            break;
        }
        if (ev.kind == EventKind::Gadget && ev.gadget == id::ButtonStopCompression) {
            stopCompression(p);
            if (p.ended) break;
        }
        int total = p.TickedCount.load();
        if (total > 0 && refreshDue(refreshed, p.lastRefresh, now)) {
            refreshProgress(p, p.ProcessedCount.load(), total);
            p.lastRefresh = now;
            refreshed = true;
        }
    }
    endProgram(p);
}

int runTarvolin(Program& p) {
    if (!p.openFolder) p.openFolder = [](const std::string& path) { platform::openFolder(path); };

    if (startUp(p) && setupLoop(p)) runLoop(p);
    if (!p.ended) endProgram(p);

    // endProgram has stopped the worker and answered its questions.
    if (p.worker.joinable()) p.worker.join();
    img::image_free_all(p.engine);
    return 0;
}

}  // namespace tv
