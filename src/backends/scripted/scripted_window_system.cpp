#include "backends/scripted/scripted_window_system.h"

#include <algorithm>

namespace tv {

ScriptedWindowSystem::ScriptedWindowSystem()
    : uiThread_(std::this_thread::get_id()), start_(std::chrono::steady_clock::now()) {}

ScriptedWindowSystem::~ScriptedWindowSystem() = default;

// ---- internal helpers (lock held) ----

ScriptedWindowSystem::Gadget* ScriptedWindowSystem::find(int id) {
    auto it = gadgets_.find(id);
    return it == gadgets_.end() ? nullptr : &it->second;
}

ScriptedWindowSystem::Window* ScriptedWindowSystem::findWindow(int id) {
    auto it = windows_.find(id);
    return it == windows_.end() ? nullptr : &it->second;
}

bool ScriptedWindowSystem::addGadget(Gadget g) {
    if (currentWindow_ == 0 || gadgets_.count(g.id)) return false;
    g.window = currentWindow_;
    gadgets_.emplace(g.id, std::move(g));
    return true;
}

void ScriptedWindowSystem::push(const Event& e) {
    if (events_.push(e)) eventArrived_.notify_all();
}

void ScriptedWindowSystem::bringToFront(int window) {
    auto it = std::find_if(zorder_.begin(), zorder_.end(),
                           [&](const ZEntry& z) { return z.program && z.window == window; });
    if (it == zorder_.end()) return;
    ZEntry entry = *it;
    zorder_.erase(it);
    zorder_.insert(zorder_.begin(), entry);
}

int ScriptedWindowSystem::foregroundWindow() {
    for (const ZEntry& z : zorder_) {
        if (z.program) {
            const Window* w = findWindow(z.window);
            if (w && w->visible) return w->id;
        } else if (z.desktop.visible) {
            return 0;  // another program's window is in front
        }
    }
    return 0;
}

bool ScriptedWindowSystem::userCanReach(const Gadget* g) {
    if (!g || g->disabled || g->hidden) return false;
    const Window* w = findWindow(g->window);
    return w && w->visible && w->disableCount == 0;
}

void ScriptedWindowSystem::gadgetEvent(const Gadget& g, int why) {
    push(Event{EventKind::Gadget, g.window, g.id, why});
}

void ScriptedWindowSystem::selectOnly(Gadget& list, int row) {
    for (std::size_t i = 0; i < list.rows.size(); ++i) {
        if (static_cast<int>(i) == row)
            list.rows[i].bits |= row::Selected;
        else
            list.rows[i].bits &= ~row::Selected;
    }
}

// ---- windows ----

bool ScriptedWindowSystem::openWindow(int id, int x, int y, int innerWidth, int innerHeight, std::string_view title,
                                      unsigned flags) {
    std::lock_guard lock(m_);
    if (windows_.count(id) || !windowSizeValid(innerWidth, innerHeight)) return false;
    Window w;
    w.id = id;
    w.rect = Rect{x, y, innerWidth, innerHeight};
    w.title = std::string(title);
    w.flags = flags;
    w.visible = !(flags & wflag::Invisible);
    windows_.emplace(id, w);
    ZEntry z;
    z.program = true;
    z.window = id;
    zorder_.insert(zorder_.begin(), z);
    currentWindow_ = id;
    return true;
}

void ScriptedWindowSystem::hideWindow(int id, bool hide) {
    std::lock_guard lock(m_);
    Window* w = findWindow(id);
    if (!w) return;
    w->visible = !hide;
    if (!hide) bringToFront(id);
}

void ScriptedWindowSystem::setWindowTitle(int id, std::string_view title) {
    std::lock_guard lock(m_);
    if (Window* w = findWindow(id)) w->title = std::string(title);
}

std::string ScriptedWindowSystem::windowTitle(int id) {
    std::lock_guard lock(m_);
    const Window* w = findWindow(id);
    return w ? w->title : std::string();
}

void ScriptedWindowSystem::activateWindow(int id) {
    std::lock_guard lock(m_);
    if (findWindow(id)) bringToFront(id);
}

// ---- gadget creation ----

bool ScriptedWindowSystem::frameGadget(int id, Rect r, std::string_view caption) {
    std::lock_guard lock(m_);
    Gadget g;
    g.id = id;
    g.kind = GadgetKind::Frame;
    g.rect = r;
    g.text = std::string(caption);
    return addGadget(std::move(g));
}

bool ScriptedWindowSystem::textGadget(int id, Rect r, std::string_view caption, Align align) {
    std::lock_guard lock(m_);
    Gadget g;
    g.id = id;
    g.kind = GadgetKind::Text;
    g.rect = r;
    g.text = std::string(caption);
    g.align = align;
    return addGadget(std::move(g));
}

bool ScriptedWindowSystem::stringGadget(int id, Rect r, std::string_view text) {
    std::lock_guard lock(m_);
    Gadget g;
    g.id = id;
    g.kind = GadgetKind::String;
    g.rect = r;
    g.text = std::string(text);
    return addGadget(std::move(g));
}

bool ScriptedWindowSystem::buttonGadget(int id, Rect r, std::string_view caption) {
    std::lock_guard lock(m_);
    Gadget g;
    g.id = id;
    g.kind = GadgetKind::Button;
    g.rect = r;
    g.text = std::string(caption);
    return addGadget(std::move(g));
}

bool ScriptedWindowSystem::checkBoxGadget(int id, Rect r, std::string_view caption) {
    std::lock_guard lock(m_);
    Gadget g;
    g.id = id;
    g.kind = GadgetKind::CheckBox;
    g.rect = r;
    g.text = std::string(caption);
    return addGadget(std::move(g));
}

bool ScriptedWindowSystem::comboGadget(int id, Rect r) {
    std::lock_guard lock(m_);
    Gadget g;
    g.id = id;
    g.kind = GadgetKind::Combo;
    g.rect = r;
    g.state = -1;
    return addGadget(std::move(g));
}

bool ScriptedWindowSystem::listGadget(int id, Rect r, std::string_view firstColumnTitle, int firstColumnWidth,
                                      unsigned flags) {
    std::lock_guard lock(m_);
    Gadget g;
    g.id = id;
    g.kind = GadgetKind::List;
    g.rect = r;
    g.columns.push_back(Column{std::string(firstColumnTitle), firstColumnWidth});
    g.flags = flags;
    return addGadget(std::move(g));
}

bool ScriptedWindowSystem::spinGadget(int id, Rect r, int minimum, int maximum, unsigned flags) {
    std::lock_guard lock(m_);
    Gadget g;
    g.id = id;
    g.kind = GadgetKind::Spin;
    g.rect = r;
    g.range = rangeOf(minimum, maximum);
    g.flags = flags;
    g.state = g.range.lo;
    g.text = spinText(g.state);
    return addGadget(std::move(g));
}

bool ScriptedWindowSystem::progressBarGadget(int id, Rect r, int minimum, int maximum) {
    std::lock_guard lock(m_);
    Gadget g;
    g.id = id;
    g.kind = GadgetKind::ProgressBar;
    g.rect = r;
    g.range = rangeOf(minimum, maximum);
    g.state = g.range.lo;
    return addGadget(std::move(g));
}

// ---- gadget access ----

std::string ScriptedWindowSystem::getText(int id) {
    std::lock_guard lock(m_);
    const Gadget* g = find(id);
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
    std::lock_guard lock(m_);
    Gadget* g = find(id);
    if (!g) return;
    switch (g->kind) {
    case GadgetKind::String:
        g->text = std::string(text);
        gadgetEvent(*g, cause::Change);
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
    std::lock_guard lock(m_);
    const Gadget* g = find(id);
    if (!g) return 0;
    switch (g->kind) {
    case GadgetKind::Spin:
        return spinValue(g->text, g->range, g->state);
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
    std::lock_guard lock(m_);
    Gadget* g = find(id);
    if (!g) return;
    switch (g->kind) {
    case GadgetKind::CheckBox:
        g->state = value != 0 ? 1 : 0;
        break;
    case GadgetKind::Combo:
        g->state = value >= 0 && value < static_cast<int>(g->items.size()) ? value : -1;
        break;
    case GadgetKind::List:
        selectOnly(*g, value);
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
    std::lock_guard lock(m_);
    Gadget* g = find(id);
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
    std::lock_guard lock(m_);
    Gadget* g = find(id);
    if (!g || g->kind != GadgetKind::List) return;
    int at = insertionIndex(position, static_cast<int>(g->columns.size()));
    g->columns.insert(g->columns.begin() + at, Column{std::string(title), width});
}

int ScriptedWindowSystem::getItemState(int id, int rowIndex) {
    std::lock_guard lock(m_);
    const Gadget* g = find(id);
    if (!g || g->kind != GadgetKind::List || rowIndex < 0 || rowIndex >= static_cast<int>(g->rows.size())) return 0;
    return g->rows[rowIndex].bits;
}

void ScriptedWindowSystem::setItemState(int id, int rowIndex, int bits) {
    std::lock_guard lock(m_);
    Gadget* g = find(id);
    if (!g || g->kind != GadgetKind::List || rowIndex < 0 || rowIndex >= static_cast<int>(g->rows.size())) return;
    if (bits & row::Selected) selectOnly(*g, rowIndex);  // one selected row at most
    g->rows[rowIndex].bits = bits & (row::Selected | row::Ticked);
}

std::string ScriptedWindowSystem::getItemText(int id, int rowIndex, int column) {
    std::lock_guard lock(m_);
    const Gadget* g = find(id);
    if (!g || rowIndex < 0) return "";
    if (g->kind == GadgetKind::Combo) {
        if (column != 0 || rowIndex >= static_cast<int>(g->items.size())) return "";
        return g->items[rowIndex];
    }
    if (g->kind != GadgetKind::List || rowIndex >= static_cast<int>(g->rows.size())) return "";
    const Row& r = g->rows[rowIndex];
    if (column < 0 || column >= static_cast<int>(r.columns.size())) return "";
    return r.columns[column];
}

int ScriptedWindowSystem::countItems(int id) {
    std::lock_guard lock(m_);
    const Gadget* g = find(id);
    if (!g) return 0;
    if (g->kind == GadgetKind::Combo) return static_cast<int>(g->items.size());
    if (g->kind == GadgetKind::List) return static_cast<int>(g->rows.size());
    return 0;
}

void ScriptedWindowSystem::disableGadget(int id, bool disable) {
    std::lock_guard lock(m_);
    if (Gadget* g = find(id)) g->disabled = disable;
}

void ScriptedWindowSystem::hideGadget(int id, bool hide) {
    std::lock_guard lock(m_);
    if (Gadget* g = find(id)) g->hidden = hide;
}

void ScriptedWindowSystem::setFocus(int id) {
    std::lock_guard lock(m_);
    if (find(id)) focus_ = id;
}

void ScriptedWindowSystem::setToolTip(int id, std::string_view text) {
    std::lock_guard lock(m_);
    if (Gadget* g = find(id)) g->toolTip = std::string(text);
}

void ScriptedWindowSystem::setFont(int id, FontId font) {
    std::lock_guard lock(m_);
    if (Gadget* g = find(id)) g->font = font;
}

void ScriptedWindowSystem::setColour(int id, int which, Colour colour) {
    std::lock_guard lock(m_);
    Gadget* g = find(id);
    if (!g) return;
    if (which == colour_which::Text) g->textColour = colour;
    if (which == colour_which::Background) g->backColour = colour;
}

FontId ScriptedWindowSystem::loadFont(std::string_view name, int points, bool bold) {
    std::lock_guard lock(m_);
    if (!fontRequestValid(name, points)) return 0;
    fonts_.push_back(FontInfo{std::string(name), points, bold});
    return static_cast<FontId>(fonts_.size());
}

// ---- events ----

Event ScriptedWindowSystem::waitEvent(int timeoutMs) {
    std::unique_lock lock(m_);
    if (!events_.empty()) return events_.take();
    if (idle_) {
        auto idle = idle_;
        lock.unlock();
        idle();
        lock.lock();
        if (!events_.empty()) return events_.take();
    }
    if (timeoutMs >= 0) {
        eventArrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !events_.empty(); });
        return events_.take();
    }
    // Waiting for ever with nothing scripted would hang the test: close the
    // window in front instead, and remember that the script ran dry.
    starved_ = true;
    int window = 0;
    for (const ZEntry& z : zorder_) {
        const Window* w = z.program ? findWindow(z.window) : nullptr;
        if (w && w->visible) {
            window = w->id;
            break;
        }
    }
    return Event{EventKind::CloseWindow, window, 0, 0};
}

int ScriptedWindowSystem::eventGadget() {
    std::lock_guard lock(m_);
    return events_.lastGadget();
}

// ---- requesters ----

RequesterAnswer ScriptedWindowSystem::ask(RequesterRecord record) {
    std::unique_lock lock(m_);
    record.fromOtherThread = std::this_thread::get_id() != uiThread_;
    RequesterAnswer result;
    result.answer = record.kind == RequesterKind::MessageBox ? closedAnswer(record.type) : 0;
    if (shutdown_) {
        record.afterShutdown = true;
        record.answer = result.answer;
        log_.push_back(record);
        return result;
    }

    // The owner is the program window in front; it, and on the UI thread
    // every other visible window, is disabled while the requester is open.
    record.ownerWindow = foregroundWindow();
    std::vector<int> disabled;
    for (auto& [id, w] : windows_) {
        if (requesterDisables(id, w.visible, record.ownerWindow, !record.fromOtherThread)) {
            ++w.disableCount;
            disabled.push_back(id);
        }
    }
    ++openRequesters_;
    requesterChanged_.notify_all();
    requesterChanged_.wait(lock, [&] { return !hold_ || shutdown_; });
    if (const Window* owner = findWindow(record.ownerWindow)) record.ownerDisabled = owner->disableCount > 0;

    bool decided = false;
    if (!shutdown_ && provider_) {
        auto provider = provider_;
        lock.unlock();
        std::optional<RequesterAnswer> chosen = provider(record);
        lock.lock();
        if (chosen) {
            result = *chosen;
            decided = true;
        }
    }
    if (!decided && shutdown_) {
        record.afterShutdown = true;
    } else if (!decided) {
        if (record.kind == RequesterKind::MessageBox) {
            if (!answers_.empty()) {
                result.answer = answers_.front();
                answers_.pop_front();
            }
        } else if (!textAnswers_.empty()) {
            result.text = textAnswers_.front();
            textAnswers_.pop_front();
        }
    }

    for (int id : disabled)
        if (Window* w = findWindow(id)) --w->disableCount;
    --openRequesters_;
    requesterChanged_.notify_all();
    record.answer = result.answer;
    record.answerText = result.text;
    log_.push_back(record);
    return result;
}

int ScriptedWindowSystem::messageBox(std::string_view title, std::string_view text, unsigned type) {
    RequesterRecord r;
    r.kind = RequesterKind::MessageBox;
    r.title = std::string(title);
    r.text = std::string(text);
    r.type = type;
    return ask(std::move(r)).answer;
}

std::string ScriptedWindowSystem::folderChooser(std::string_view title, std::string_view initialFolder) {
    RequesterRecord r;
    r.kind = RequesterKind::FolderChooser;
    r.title = std::string(title);
    r.defaultText = std::string(initialFolder);
    return chosenFolder(ask(std::move(r)).text);
}

std::string ScriptedWindowSystem::inputBox(std::string_view title, std::string_view prompt,
                                           std::string_view defaultText) {
    RequesterRecord r;
    r.kind = RequesterKind::InputBox;
    r.title = std::string(title);
    r.text = std::string(prompt);
    r.defaultText = std::string(defaultText);
    return ask(std::move(r)).text;
}

std::string ScriptedWindowSystem::clipboardText() {
    std::lock_guard lock(m_);
    return clipboard_;
}

void ScriptedWindowSystem::shutdown() {
    std::lock_guard lock(m_);
    shutdown_ = true;
    requesterChanged_.notify_all();
    eventArrived_.notify_all();
}

std::uint32_t ScriptedWindowSystem::tickCount() {
    std::lock_guard lock(m_);
    if (ticksFrozen_) return frozenTicks_;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms + tickOffset_));
}

std::vector<TopLevelWindow> ScriptedWindowSystem::topLevelWindows() {
    std::lock_guard lock(m_);
    std::vector<TopLevelWindow> out;
    for (const ZEntry& z : zorder_) {
        if (z.program) {
            const Window* w = findWindow(z.window);
            if (w) out.push_back(TopLevelWindow{w->title, w->visible, false});
        } else {
            out.push_back(z.desktop);
        }
    }
    for (TopLevelWindow& w : out) w.title = clipTitle(std::move(w.title));
    return out;
}

bool ScriptedWindowSystem::gadgetExists(int id) {
    std::lock_guard lock(m_);
    return find(id) != nullptr;
}

bool ScriptedWindowSystem::isGadgetDisabled(int id) {
    std::lock_guard lock(m_);
    const Gadget* g = find(id);
    return g && g->disabled;
}

bool ScriptedWindowSystem::isGadgetHidden(int id) {
    std::lock_guard lock(m_);
    const Gadget* g = find(id);
    return g && g->hidden;
}

bool ScriptedWindowSystem::isWindowVisible(int id) {
    std::lock_guard lock(m_);
    const Window* w = findWindow(id);
    return w && w->visible;
}

// ---- driver ----

bool ScriptedWindowSystem::click(int gadget) {
    std::lock_guard lock(m_);
    Gadget* g = find(gadget);
    if (!userCanReach(g)) return false;
    if (g->kind == GadgetKind::CheckBox) {
        g->state = g->state ? 0 : 1;  // the tick changes before the event is seen
    } else if (g->kind != GadgetKind::Button) {
        return false;
    }
    gadgetEvent(*g, cause::Click);
    return true;
}

bool ScriptedWindowSystem::typeText(int gadget, std::string_view text) {
    std::lock_guard lock(m_);
    Gadget* g = find(gadget);
    if (!userCanReach(g) || (g->kind != GadgetKind::String && g->kind != GadgetKind::Spin)) return false;
    g->text = std::string(text);
    gadgetEvent(*g, cause::Change);
    return true;
}

bool ScriptedWindowSystem::selectComboRow(int combo, int row) {
    std::lock_guard lock(m_);
    Gadget* g = find(combo);
    if (!userCanReach(g) || g->kind != GadgetKind::Combo || row < 0 || row >= static_cast<int>(g->items.size()))
        return false;
    g->state = row;
    gadgetEvent(*g, cause::Selection);
    return true;
}

bool ScriptedWindowSystem::selectRow(int list, int rowIndex) {
    std::lock_guard lock(m_);
    Gadget* g = find(list);
    if (!userCanReach(g) || g->kind != GadgetKind::List || rowIndex < 0 ||
        rowIndex >= static_cast<int>(g->rows.size()))
        return false;
    selectOnly(*g, rowIndex);
    gadgetEvent(*g, cause::Selection);
    return true;
}

bool ScriptedWindowSystem::clickBelowRows(int list) {
    std::lock_guard lock(m_);
    Gadget* g = find(list);
    if (!userCanReach(g) || g->kind != GadgetKind::List) return false;
    selectOnly(*g, -1);
    gadgetEvent(*g, cause::Selection);
    return true;
}

bool ScriptedWindowSystem::tickRow(int list, int rowIndex, bool ticked) {
    std::lock_guard lock(m_);
    Gadget* g = find(list);
    if (!userCanReach(g) || g->kind != GadgetKind::List || rowIndex < 0 ||
        rowIndex >= static_cast<int>(g->rows.size()))
        return false;
    int& bits = g->rows[rowIndex].bits;
    bits = ticked ? (bits | row::Ticked) : (bits & ~row::Ticked);
    gadgetEvent(*g, cause::Tick);
    return true;
}

bool ScriptedWindowSystem::setSpinText(int spin, std::string_view text) {
    std::lock_guard lock(m_);
    Gadget* g = find(spin);
    if (!userCanReach(g) || g->kind != GadgetKind::Spin) return false;
    g->text = std::string(text);  // the value read follows it when it is a number
    gadgetEvent(*g, cause::Change);
    return true;
}

bool ScriptedWindowSystem::stepSpin(int spin, int delta) {
    std::lock_guard lock(m_);
    Gadget* g = find(spin);
    if (!userCanReach(g) || g->kind != GadgetKind::Spin) return false;
    long long next = static_cast<long long>(spinValue(g->text, g->range, g->state)) + delta;
    g->state = static_cast<int>(std::clamp<long long>(next, g->range.lo, g->range.hi));
    g->text = spinText(g->state);
    gadgetEvent(*g, cause::Change);
    return true;
}

bool ScriptedWindowSystem::closeWindow(int window) {
    std::lock_guard lock(m_);
    const Window* w = findWindow(window);
    if (!w || !w->visible || w->disableCount > 0) return false;
    push(Event{EventKind::CloseWindow, window, 0, 0});
    return true;
}

void ScriptedWindowSystem::queueEvent(const Event& event) {
    std::lock_guard lock(m_);
    push(event);
}

void ScriptedWindowSystem::setClipboard(std::string text) {
    std::lock_guard lock(m_);
    clipboard_ = std::move(text);
}

void ScriptedWindowSystem::addDesktopWindow(std::string title, bool visible, bool toolWindow, bool front) {
    std::lock_guard lock(m_);
    ZEntry z;
    z.program = false;
    z.desktop = TopLevelWindow{std::move(title), visible, toolWindow};
    if (front)
        zorder_.insert(zorder_.begin(), z);
    else
        zorder_.push_back(z);
}

void ScriptedWindowSystem::pushAnswer(int messageBoxAnswer) {
    std::lock_guard lock(m_);
    answers_.push_back(messageBoxAnswer);
}

void ScriptedWindowSystem::pushTextAnswer(std::string text) {
    std::lock_guard lock(m_);
    textAnswers_.push_back(std::move(text));
}

void ScriptedWindowSystem::setAnswerProvider(
    std::function<std::optional<RequesterAnswer>(const RequesterRecord&)> provider) {
    std::lock_guard lock(m_);
    provider_ = std::move(provider);
}

void ScriptedWindowSystem::holdRequesters(bool hold) {
    std::lock_guard lock(m_);
    hold_ = hold;
    requesterChanged_.notify_all();
}

int ScriptedWindowSystem::openRequesterCount() {
    std::lock_guard lock(m_);
    return openRequesters_;
}

bool ScriptedWindowSystem::waitForOpenRequesters(int count, int timeoutMs) {
    std::unique_lock lock(m_);
    return requesterChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [&] { return openRequesters_ >= count; });
}

std::vector<RequesterRecord> ScriptedWindowSystem::requesterLog() {
    std::lock_guard lock(m_);
    return log_;
}

bool ScriptedWindowSystem::isShutDown() {
    std::lock_guard lock(m_);
    return shutdown_;
}

void ScriptedWindowSystem::setIdleCallback(std::function<void()> callback) {
    std::lock_guard lock(m_);
    idle_ = std::move(callback);
}

bool ScriptedWindowSystem::starved() {
    std::lock_guard lock(m_);
    return starved_;
}

std::size_t ScriptedWindowSystem::pendingEvents() {
    std::lock_guard lock(m_);
    return events_.size();
}

void ScriptedWindowSystem::setTickOffset(std::int64_t offsetMs) {
    std::lock_guard lock(m_);
    tickOffset_ = offsetMs;
}

void ScriptedWindowSystem::freezeTicks(std::uint32_t value) {
    std::lock_guard lock(m_);
    ticksFrozen_ = true;
    frozenTicks_ = value;
}

void ScriptedWindowSystem::advanceTicks(std::uint32_t ms) {
    std::lock_guard lock(m_);
    if (ticksFrozen_)
        frozenTicks_ += ms;  // wraps like the real 32-bit counter
    else
        tickOffset_ += ms;
}

void ScriptedWindowSystem::unfreezeTicks() {
    std::lock_guard lock(m_);
    ticksFrozen_ = false;
}

// ---- inspection ----

ScriptedWindowSystem::FontInfo ScriptedWindowSystem::fontInfo(FontId font) {
    std::lock_guard lock(m_);
    if (font < 1 || font > static_cast<int>(fonts_.size())) return FontInfo{};
    return fonts_[font - 1];
}

std::optional<Rect> ScriptedWindowSystem::windowRect(int id) {
    std::lock_guard lock(m_);
    const Window* w = findWindow(id);
    if (!w) return std::nullopt;
    return w->rect;
}

unsigned ScriptedWindowSystem::windowFlags(int id) {
    std::lock_guard lock(m_);
    const Window* w = findWindow(id);
    return w ? w->flags : 0;
}

bool ScriptedWindowSystem::isWindowDisabled(int id) {
    std::lock_guard lock(m_);
    const Window* w = findWindow(id);
    return w && w->disableCount > 0;
}

int ScriptedWindowSystem::activeWindow() {
    std::lock_guard lock(m_);
    return foregroundWindow();
}

std::optional<GadgetKind> ScriptedWindowSystem::gadgetKind(int id) {
    std::lock_guard lock(m_);
    const Gadget* g = find(id);
    if (!g) return std::nullopt;
    return g->kind;
}

int ScriptedWindowSystem::gadgetWindow(int id) {
    std::lock_guard lock(m_);
    const Gadget* g = find(id);
    return g ? g->window : 0;
}

std::optional<Rect> ScriptedWindowSystem::gadgetRect(int id) {
    std::lock_guard lock(m_);
    const Gadget* g = find(id);
    if (!g) return std::nullopt;
    return g->rect;
}

std::string ScriptedWindowSystem::toolTip(int id) {
    std::lock_guard lock(m_);
    const Gadget* g = find(id);
    return g ? g->toolTip : std::string();
}

FontId ScriptedWindowSystem::gadgetFont(int id) {
    std::lock_guard lock(m_);
    const Gadget* g = find(id);
    return g ? g->font : 0;
}

std::optional<Colour> ScriptedWindowSystem::gadgetColour(int id, int which) {
    std::lock_guard lock(m_);
    const Gadget* g = find(id);
    if (!g) return std::nullopt;
    return which == colour_which::Text ? g->textColour : g->backColour;
}

Align ScriptedWindowSystem::textAlign(int id) {
    std::lock_guard lock(m_);
    const Gadget* g = find(id);
    return g ? g->align : Align::Left;
}

std::vector<std::string> ScriptedWindowSystem::columnTitles(int id) {
    std::lock_guard lock(m_);
    std::vector<std::string> out;
    if (const Gadget* g = find(id))
        for (const Column& c : g->columns) out.push_back(c.title);
    return out;
}

std::pair<int, int> ScriptedWindowSystem::gadgetRange(int id) {
    std::lock_guard lock(m_);
    const Gadget* g = find(id);
    if (!g) return {0, 0};
    return {g->range.lo, g->range.hi};
}

int ScriptedWindowSystem::focusedGadget() {
    std::lock_guard lock(m_);
    return focus_;
}

}  // namespace tv
