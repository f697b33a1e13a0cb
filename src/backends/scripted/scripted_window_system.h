// A headless window system for tests: an in-memory model of windows,
// gadgets, events and requesters that honours the windowing contract, with
// the probe (scripted_probe.h) through which a test plays the user.
#pragma once

#include "backends/scripted/scripted_model.h"
#include "backends/scripted/scripted_probe.h"
#include "ui/window_system.h"

namespace tv {

class ScriptedWindowSystem : public WindowSystem, public ScriptedProbe {
public:
    ScriptedWindowSystem();
    ~ScriptedWindowSystem() override;
    ScriptedWindowSystem(const ScriptedWindowSystem&) = delete;
    ScriptedWindowSystem& operator=(const ScriptedWindowSystem&) = delete;

    bool openWindow(int id, int x, int y, int innerWidth, int innerHeight, std::string_view title,
                    unsigned flags) override;
    void hideWindow(int id, bool hide) override;
    void setWindowTitle(int id, std::string_view title) override;
    void activateWindow(int id) override;

    bool frameGadget(int id, Rect r, std::string_view caption) override;
    bool textGadget(int id, Rect r, std::string_view caption, Align align) override;
    bool stringGadget(int id, Rect r, std::string_view text) override;
    bool buttonGadget(int id, Rect r, std::string_view caption) override;
    bool checkBoxGadget(int id, Rect r, std::string_view caption) override;
    bool comboGadget(int id, Rect r) override;
    bool listGadget(int id, Rect r, std::string_view firstColumnTitle, int firstColumnWidth,
                    unsigned flags) override;
    bool spinGadget(int id, Rect r, int minimum, int maximum, unsigned flags) override;
    bool progressBarGadget(int id, Rect r, int minimum, int maximum) override;

    std::string getText(int id) override;
    void setText(int id, std::string_view text) override;
    int getState(int id) override;
    void setState(int id, int value) override;
    void addItem(int id, int position, std::string_view text) override;
    void addColumn(int id, int position, std::string_view title, int width) override;
    int getItemState(int id, int rowIndex) override;
    void setItemState(int id, int rowIndex, int bits) override;
    int countItems(int id) override;
    void disableGadget(int id, bool disable) override;
    void hideGadget(int id, bool hide) override;
    void setFocus(int id) override;
    void setToolTip(int id, std::string_view text) override;
    void setFont(int id, FontId font) override;
    void setColour(int id, int which, Colour colour) override;

    FontId loadFont(std::string_view name, int points, bool bold) override;

    Event waitEvent(int timeoutMs) override;
    int eventGadget() override;

    int messageBox(std::string_view title, std::string_view text, unsigned type) override;
    std::string folderChooser(std::string_view title, std::string_view initialFolder) override;
    std::string inputBox(std::string_view title, std::string_view prompt,
                         std::string_view defaultText) override;

    std::string clipboardText() override;
    void shutdown() override;
    std::uint32_t tickCount() override;
    std::vector<TopLevelWindow> topLevelWindows() override;

private:
    scripted::Model& model() override { return model_; }
    bool create(scripted::Gadget g);

    scripted::Model model_;
};

}  // namespace tv
