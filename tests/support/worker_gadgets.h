// What the compression worker needs around it when a test or benchmark runs
// a batch without the program's own windows: the gadgets it reads, and the
// codecs.
#pragma once

#include <string>

#include "imaging/image.h"
#include "windows/ids.h"
#include "ui/window_system.h"

namespace tvtest {

// On hidden windows: the compression combo at quality, an empty file list,
// start number 1 and every option box unticked. The progress window opens
// with progressFlags.
inline void openWorkerGadgets(tv::WindowSystem& ui, int quality, unsigned progressFlags) {
    const unsigned hidden = tv::wflag::TitleBar | tv::wflag::Invisible;
    ui.openWindow(tv::id::WndMain, 0, 0, 400, 300, "main", hidden);
    ui.comboGadget(tv::id::ComboCompression, {0, 0, 50, 20});
    for (int q = 0; q <= 10; ++q) ui.addItem(tv::id::ComboCompression, q, std::to_string(q));
    ui.setState(tv::id::ComboCompression, quality);
    ui.openWindow(tv::id::WndList, 0, 0, 400, 300, "list", hidden);
    ui.listGadget(tv::id::ListImgList, {0, 0, 300, 200}, "Name", 100, 0);
    ui.openWindow(tv::id::WndCompress, 0, 0, 400, 300, "compress", hidden);
    ui.spinGadget(tv::id::SpinCount, {0, 0, 50, 20}, 1, 30000, 0);
    ui.setText(tv::id::SpinCount, "1");
    for (int id : {tv::id::CheckboxDeleteImage, tv::id::CheckboxRenameImage, tv::id::CheckboxOtherFolder,
                   tv::id::CheckboxExtensionCase})
        ui.checkBoxGadget(id, {0, 0, 50, 20}, "");
    ui.openWindow(tv::id::WndProgress, 0, 0, 400, 300, "progress", progressFlags);
    ui.checkBoxGadget(tv::id::CheckboxOpenFolder, {0, 0, 50, 20}, "");
}

// JPEG and PNG, reading and writing (BMP needs no registration).
inline void registerCodecs(tv::img::Engine& e) {
    tv::img::register_jpeg_decoder(e);
    tv::img::register_jpeg_encoder(e);
    tv::img::register_png_decoder(e);
    tv::img::register_png_encoder(e);
}

}  // namespace tvtest
