#include "backends/scripted/scripted_window_system.h"

#include <algorithm>

namespace tv {

using scripted::Column;
using scripted::Gadget;
using scripted::Row;
using scripted::Window;
using scripted::ZEntry;

ScriptedWindowSystem::ScriptedWindowSystem() = default;

ScriptedWindowSystem::~ScriptedWindowSystem() = default;

// ---- windows ----

bool ScriptedWindowSystem::openWindow(int id, int x, int y, int innerWidth, int innerHeight, std::string_view title,
                                      unsigned flags) {
    std::lock_guard lock(model_.mu);
    if (model_.windows.count(id) || !windowSizeValid(innerWidth, innerHeight)) return false;
    model_.windows.emplace(id, Window{.id = id,
                                      .rect = Rect{x, y, innerWidth, innerHeight},
                                      .title = std::string(title),
                                      .flags = flags,
                                      .visible = !(flags & wflag::Invisible)});
    model_.zorder.insert(model_.zorder.begin(), ZEntry{.program = true, .window = id});
    model_.currentWindow = id;
    return true;
}

void ScriptedWindowSystem::hideWindow(int id, bool hide) {
    std::lock_guard lock(model_.mu);
    Window* w = model_.findWindow(id);
    if (!w) return;
    w->visible = !hide;
    if (!hide) model_.bringToFront(id);
}

void ScriptedWindowSystem::setWindowTitle(int id, std::string_view title) {
    std::lock_guard lock(model_.mu);
    if (Window* w = model_.findWindow(id)) w->title = std::string(title);
}

void ScriptedWindowSystem::activateWindow(int id) {
    std::lock_guard lock(model_.mu);
    if (model_.findWindow(id)) model_.bringToFront(id);
}

// ---- gadget creation: every kind the same way, from what it starts with ----

bool ScriptedWindowSystem::create(Gadget g) {
    std::lock_guard lock(model_.mu);
    return model_.addGadget(std::move(g));
}

bool ScriptedWindowSystem::frameGadget(int id, Rect r, std::string_view caption) {
    return create({.id = id, .kind = GadgetKind::Frame, .rect = r, .text = std::string(caption)});
}

bool ScriptedWindowSystem::textGadget(int id, Rect r, std::string_view caption, Align align) {
    return create({.id = id, .kind = GadgetKind::Text, .rect = r, .text = std::string(caption), .align = align});
}

bool ScriptedWindowSystem::stringGadget(int id, Rect r, std::string_view text) {
    return create({.id = id, .kind = GadgetKind::String, .rect = r, .text = std::string(text)});
}

bool ScriptedWindowSystem::buttonGadget(int id, Rect r, std::string_view caption) {
    return create({.id = id, .kind = GadgetKind::Button, .rect = r, .text = std::string(caption)});
}

bool ScriptedWindowSystem::checkBoxGadget(int id, Rect r, std::string_view caption) {
    return create({.id = id, .kind = GadgetKind::CheckBox, .rect = r, .text = std::string(caption)});
}

bool ScriptedWindowSystem::comboGadget(int id, Rect r) {
    return create({.id = id, .kind = GadgetKind::Combo, .rect = r, .state = -1});
}

bool ScriptedWindowSystem::listGadget(int id, Rect r, std::string_view firstColumnTitle, int firstColumnWidth,
                                      unsigned flags) {
    std::vector<Column> columns{Column{std::string(firstColumnTitle), firstColumnWidth}};
    return create({.id = id, .kind = GadgetKind::List, .rect = r, .columns = std::move(columns), .flags = flags});
}

bool ScriptedWindowSystem::spinGadget(int id, Rect r, int minimum, int maximum, unsigned flags) {
    Range range = rangeOf(minimum, maximum);
    return create({.id = id, .kind = GadgetKind::Spin, .rect = r, .text = spinText(range.lo), .state = range.lo,
                   .range = range, .flags = flags});
}

bool ScriptedWindowSystem::progressBarGadget(int id, Rect r, int minimum, int maximum) {
    Range range = rangeOf(minimum, maximum);
    return create({.id = id, .kind = GadgetKind::ProgressBar, .rect = r, .state = range.lo, .range = range});
}

// ---- gadget access ----

std::string ScriptedWindowSystem::getText(int id) {
    std::lock_guard lock(model_.mu);
    const Gadget* g = model_.find(id);
    if (!g) return "";
    switch (g->kind) {
    case GadgetKind::Combo:
        if (g->state >= 0 && g->state < static_cast<int>(g->items.size())) return g->items[g->state];
        return "";
    case GadgetKind::List:
    case GadgetKind::ProgressBar:
        return "";
    default:
        return g->text;
    }
}

void ScriptedWindowSystem::setText(int id, std::string_view text) {
    std::lock_guard lock(model_.mu);
    Gadget* g = model_.find(id);
    if (!g) return;
    switch (g->kind) {
    case GadgetKind::String:
        g->text = std::string(text);
        model_.gadgetEvent(*g, cause::Change);
        break;
    case GadgetKind::Combo: {
        // A drop-down list cannot hold free text: the text picks its row.
        auto rowText = [g](int i) -> const std::string& { return g->items[i]; };
        int row = rowWithText(static_cast<int>(g->items.size()), rowText, text);
        if (row >= 0) g->state = row;
        break;
    }
    case GadgetKind::List:
    case GadgetKind::ProgressBar:
        break;
    default:
        g->text = std::string(text);
        break;
    }
}

int ScriptedWindowSystem::getState(int id) {
    std::lock_guard lock(model_.mu);
    const Gadget* g = model_.find(id);
    if (!g) return 0;
    switch (g->kind) {
    case GadgetKind::Spin:
        return scripted::Model::spinValueOf(*g);
    case GadgetKind::CheckBox:
    case GadgetKind::Combo:
    case GadgetKind::ProgressBar:
        return g->state;
    case GadgetKind::List:
        for (std::size_t i = 0; i < g->rows.size(); ++i)
            if (g->rows[i].bits & row::Selected) return static_cast<int>(i);
        return -1;
    default:
        return 0;
    }
}

void ScriptedWindowSystem::setState(int id, int value) {
    std::lock_guard lock(model_.mu);
    Gadget* g = model_.find(id);
    if (!g) return;
    switch (g->kind) {
    case GadgetKind::CheckBox:
        g->state = value != 0 ? 1 : 0;
        break;
    case GadgetKind::Combo:
        g->state = value >= 0 && value < static_cast<int>(g->items.size()) ? value : -1;
        break;
    case GadgetKind::List:
        model_.selectOnly(*g, value);
        break;
    case GadgetKind::Spin:
        g->state = g->range.clamp(value);
        g->text = spinText(g->state);
        break;
    case GadgetKind::ProgressBar:
        g->state = g->range.clamp(value);
        break;
    default:
        break;
    }
}

void ScriptedWindowSystem::addItem(int id, int position, std::string_view text) {
    std::lock_guard lock(model_.mu);
    Gadget* g = model_.find(id);
    if (!g) return;
    if (g->kind == GadgetKind::Combo) {
        int at = insertionIndex(position, static_cast<int>(g->items.size()));
        g->items.insert(g->items.begin() + at, std::string(text));
        if (g->state >= at) ++g->state;  // the selection stays on its row
    } else if (g->kind == GadgetKind::List) {
        int at = insertionIndex(position, static_cast<int>(g->rows.size()));
        g->rows.insert(g->rows.begin() + at, Row{rowColumns(text), 0});
    }
}

void ScriptedWindowSystem::addColumn(int id, int position, std::string_view title, int width) {
    std::lock_guard lock(model_.mu);
    Gadget* g = model_.find(id);
    if (!g || g->kind != GadgetKind::List) return;
    int at = insertionIndex(position, static_cast<int>(g->columns.size()));
    g->columns.insert(g->columns.begin() + at, Column{std::string(title), width});
}

int ScriptedWindowSystem::getItemState(int id, int rowIndex) {
    std::lock_guard lock(model_.mu);
    const Gadget* g = model_.find(id);
    if (!g || g->kind != GadgetKind::List || !scripted::Model::hasRow(*g, rowIndex)) return 0;
    return g->rows[rowIndex].bits;
}

void ScriptedWindowSystem::setItemState(int id, int rowIndex, int bits) {
    std::lock_guard lock(model_.mu);
    Gadget* g = model_.find(id);
    if (!g || g->kind != GadgetKind::List || !scripted::Model::hasRow(*g, rowIndex)) return;
    if (bits & row::Selected) model_.selectOnly(*g, rowIndex);  // one selected row at most
    g->rows[rowIndex].bits = bits & (row::Selected | row::Ticked);
}

int ScriptedWindowSystem::countItems(int id) {
    std::lock_guard lock(model_.mu);
    const Gadget* g = model_.find(id);
    if (!g) return 0;
    if (g->kind == GadgetKind::Combo) return static_cast<int>(g->items.size());
    if (g->kind == GadgetKind::List) return static_cast<int>(g->rows.size());
    return 0;
}

void ScriptedWindowSystem::disableGadget(int id, bool disable) {
    std::lock_guard lock(model_.mu);
    if (Gadget* g = model_.find(id)) g->disabled = disable;
}

void ScriptedWindowSystem::hideGadget(int id, bool hide) {
    std::lock_guard lock(model_.mu);
    if (Gadget* g = model_.find(id)) g->hidden = hide;
}

void ScriptedWindowSystem::setFocus(int id) {
    std::lock_guard lock(model_.mu);
    if (model_.find(id)) model_.focus = id;
}

void ScriptedWindowSystem::setToolTip(int id, std::string_view text) {
    std::lock_guard lock(model_.mu);
    if (Gadget* g = model_.find(id)) g->toolTip = std::string(text);
}

void ScriptedWindowSystem::setFont(int id, FontId font) {
    std::lock_guard lock(model_.mu);
    if (Gadget* g = model_.find(id)) g->font = font;
}

void ScriptedWindowSystem::setColour(int id, int which, Colour colour) {
    std::lock_guard lock(model_.mu);
    Gadget* g = model_.find(id);
    if (!g) return;
    if (which == colour_which::Text) g->textColour = colour;
    if (which == colour_which::Background) g->backColour = colour;
}

FontId ScriptedWindowSystem::loadFont(std::string_view name, int points, bool bold) {
    std::lock_guard lock(model_.mu);
    if (!fontRequestValid(name, points)) return 0;
    model_.fonts.push_back(FontInfo{std::string(name), points, bold});
    return static_cast<FontId>(model_.fonts.size());
}

// ---- events ----

Event ScriptedWindowSystem::waitEvent(int timeoutMs) {
    std::unique_lock lock(model_.mu);
    if (!model_.events.empty()) return model_.events.take();
    if (model_.idle) {
        auto idle = model_.idle;
        lock.unlock();
        idle();
        lock.lock();
        if (!model_.events.empty()) return model_.events.take();
    }
    if (timeoutMs >= 0) {
        model_.eventArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [&] { return !model_.events.empty(); });
        return model_.events.take();
    }
    // Waiting for ever with nothing scripted would hang the test: close the
    // window in front instead, and remember that the script ran dry.
    model_.starved = true;
    return Event{EventKind::CloseWindow, model_.frontVisibleWindow(), 0, 0};
}

int ScriptedWindowSystem::eventGadget() {
    std::lock_guard lock(model_.mu);
    return model_.events.lastGadget();
}

// ---- the rest of the desktop ----

std::string ScriptedWindowSystem::clipboardText() {
    std::lock_guard lock(model_.mu);
    return model_.clipboard;
}

void ScriptedWindowSystem::useLanguage(std::string_view code) {
    std::lock_guard lock(model_.mu);
    model_.languages.push_back(LanguageChoice{std::string(code), model_.windows.size()});
}

std::uint32_t ScriptedWindowSystem::tickCount() {
    std::lock_guard lock(model_.mu);
    return model_.ticksNow();
}

std::vector<TopLevelWindow> ScriptedWindowSystem::topLevelWindows() {
    std::lock_guard lock(model_.mu);
    std::vector<TopLevelWindow> out;
    for (const ZEntry& z : model_.zorder) {
        if (z.program) {
            if (const Window* w = model_.findWindow(z.window)) out.push_back(TopLevelWindow{w->title, w->visible, false});
        } else {
            out.push_back(z.desktop);
        }
    }
    for (TopLevelWindow& w : out) w.title = clipTitle(std::move(w.title));
    return out;
}

}  // namespace tv
