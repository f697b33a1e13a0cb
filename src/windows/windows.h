// The four windows of the program: building them and the handlers of their
// gadgets. Everything here runs on the UI thread.
#pragma once

#include <string>

#include "shell/program.h"

namespace tv {

// Building. Each opens its window (only Wnd.Main visible) and creates its
// gadgets in table order with their initial states; false when the window
// itself could not be opened.
bool buildMainWindow(Program& p);
bool buildListWindow(Program& p);
bool buildCompressWindow(Program& p);
bool buildProgressWindow(Program& p);
// All four, in the order above; false at the first window that failed.
bool buildWindows(Program& p);

// Wnd.Main handlers.
void onStringPath(Program& p);
void onButtonBrowse(Program& p);
void onButtonPaste(Program& p);
void onComboFormat(Program& p);
void onComboSize(Program& p);
void onButtonList(Program& p);

// Wnd.List handlers.
// Inverts the tick of one row, keeping its selection bit.
void toggleRowCheck(Program& p, int rowIndex);
void onListImgList(Program& p);
void onChangeBefore(Program& p);
void onChangeAfter(Program& p);
void onButtonNext(Program& p);

// Wnd.Compress handlers.
void onCheckboxRenameImage(Program& p);
void onCheckboxOtherFolder(Program& p);
void onButtonBrowseOther(Program& p);

// The folder the batch writes into, from the output target: its folder part
// (up to and including the last separator) when it has one, else the source
// folder.
std::string destinationFolderFor(const Program& p, const std::string& outputTarget);
// True when a visible, non-tool top-level window has exactly this title.
bool findWindowByTitle(Program& p, const std::string& title);
// The state Checkbox.OpenFolder starts with for the destination folder.
bool initialOpenFolderState(Program& p);

// Counter "processed/total", bar and "<pct>% - Tarvolin" title of Wnd.Progress.
// Does nothing when total is not above 0.
void refreshProgress(Program& p, int processed, int total);

}  // namespace tv
