// The scripted user: what a test does at the screen, and the clock and
// queue it steers.
#include <algorithm>

#include "backends/scripted/scripted_model.h"

namespace tv {

using scripted::Gadget;

namespace {

// A user's action on a gadget the user can reach: change makes it and says
// whether the gadget takes it; if so, its event is queued.
template <class Change>
bool userAct(scripted::Model& m, int id, int why, Change change) {
    std::lock_guard lock(m.mu);
    Gadget* g = m.find(id);
    if (!m.userCanReach(g) || !change(*g)) return false;
    m.gadgetEvent(*g, why);
    return true;
}

}  // namespace

bool ScriptedProbe::click(int gadget) {
    return userAct(model(), gadget, cause::Click, [](Gadget& g) {
        if (g.kind == GadgetKind::CheckBox) g.state = g.state ? 0 : 1;  // the tick changes before the event is seen
        return g.kind == GadgetKind::CheckBox || g.kind == GadgetKind::Button;
    });
}

bool ScriptedProbe::typeText(int gadget, std::string_view text) {
    return userAct(model(), gadget, cause::Change, [text](Gadget& g) {
        if (g.kind != GadgetKind::String && g.kind != GadgetKind::Spin) return false;
        g.text = std::string(text);
        return true;
    });
}

bool ScriptedProbe::selectComboRow(int combo, int row) {
    return userAct(model(), combo, cause::Selection, [row](Gadget& g) {
        if (g.kind != GadgetKind::Combo || row < 0 || row >= static_cast<int>(g.items.size())) return false;
        g.state = row;
        return true;
    });
}

bool ScriptedProbe::selectRow(int list, int rowIndex) {
    scripted::Model& m = model();
    return userAct(m, list, cause::Selection, [&m, rowIndex](Gadget& g) {
        if (g.kind != GadgetKind::List || !scripted::Model::hasRow(g, rowIndex)) return false;
        m.selectOnly(g, rowIndex);
        return true;
    });
}

bool ScriptedProbe::clickBelowRows(int list) {
    scripted::Model& m = model();
    return userAct(m, list, cause::Selection, [&m](Gadget& g) {
        if (g.kind != GadgetKind::List) return false;
        m.selectOnly(g, -1);
        return true;
    });
}

bool ScriptedProbe::tickRow(int list, int rowIndex, bool ticked) {
    return userAct(model(), list, cause::Tick, [rowIndex, ticked](Gadget& g) {
        if (g.kind != GadgetKind::List || !scripted::Model::hasRow(g, rowIndex)) return false;
        int& bits = g.rows[rowIndex].bits;
        bits = ticked ? (bits | row::Ticked) : (bits & ~row::Ticked);
        return true;
    });
}

bool ScriptedProbe::setSpinText(int spin, std::string_view text) {
    return userAct(model(), spin, cause::Change, [text](Gadget& g) {
        if (g.kind != GadgetKind::Spin) return false;
        g.text = std::string(text);  // the value read follows it when it is a number
        return true;
    });
}

bool ScriptedProbe::stepSpin(int spin, int delta) {
    return userAct(model(), spin, cause::Change, [delta](Gadget& g) {
        if (g.kind != GadgetKind::Spin) return false;
        long long next = static_cast<long long>(scripted::Model::spinValueOf(g)) + delta;
        g.state = static_cast<int>(std::clamp<long long>(next, g.range.lo, g.range.hi));
        g.text = spinText(g.state);
        return true;
    });
}

bool ScriptedProbe::closeWindow(int window) {
    scripted::Model& m = model();
    std::lock_guard lock(m.mu);
    const scripted::Window* w = m.findWindow(window);
    if (!w || !w->visible || w->disableCount > 0) return false;
    m.push(Event{EventKind::CloseWindow, window, 0, 0});
    return true;
}

void ScriptedProbe::queueEvent(const Event& event) {
    std::lock_guard lock(model().mu);
    model().push(event);
}

void ScriptedProbe::setClipboard(std::string text) {
    std::lock_guard lock(model().mu);
    model().clipboard = std::move(text);
}

void ScriptedProbe::addDesktopWindow(std::string title, bool visible, bool toolWindow, bool front) {
    scripted::Model& m = model();
    std::lock_guard lock(m.mu);
    scripted::ZEntry z{.program = false, .desktop = TopLevelWindow{std::move(title), visible, toolWindow}};
    m.zorder.insert(front ? m.zorder.begin() : m.zorder.end(), std::move(z));
}

// ---- events and time ----

void ScriptedProbe::setIdleCallback(std::function<void()> callback) {
    std::lock_guard lock(model().mu);
    model().idle = std::move(callback);
}

bool ScriptedProbe::starved() {
    std::lock_guard lock(model().mu);
    return model().starved;
}

std::size_t ScriptedProbe::pendingEvents() {
    std::lock_guard lock(model().mu);
    return model().events.size();
}

void ScriptedProbe::setTickOffset(std::int64_t offsetMs) {
    std::lock_guard lock(model().mu);
    model().tickOffset = offsetMs;
}

void ScriptedProbe::freezeTicks(std::uint32_t value) {
    scripted::Model& m = model();
    std::lock_guard lock(m.mu);
    m.ticksFrozen = true;
    m.frozenTicks = value;
}

void ScriptedProbe::advanceTicks(std::uint32_t ms) {
    scripted::Model& m = model();
    std::lock_guard lock(m.mu);
    if (m.ticksFrozen)
        m.frozenTicks += ms;  // wraps like the real 32-bit counter
    else
        m.tickOffset += ms;
}

void ScriptedProbe::unfreezeTicks() {
    std::lock_guard lock(model().mu);
    model().ticksFrozen = false;
}

}  // namespace tv
