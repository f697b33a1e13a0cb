#include "backends/scripted/scripted_model.h"

#include <algorithm>

namespace tv::scripted {

Model::Model() : uiThread(std::this_thread::get_id()), start(std::chrono::steady_clock::now()) {}

Gadget* Model::find(int id) {
    auto it = gadgets.find(id);
    return it == gadgets.end() ? nullptr : &it->second;
}

Window* Model::findWindow(int id) {
    auto it = windows.find(id);
    return it == windows.end() ? nullptr : &it->second;
}

bool Model::addGadget(Gadget g) {
    if (currentWindow == 0 || gadgets.count(g.id)) return false;
    g.window = currentWindow;
    gadgets.emplace(g.id, std::move(g));
    return true;
}

void Model::push(const Event& e) {
    if (events.push(e)) eventArrived.notify_all();
}

void Model::gadgetEvent(const Gadget& g, int why) { push(Event{EventKind::Gadget, g.window, g.id, why}); }

void Model::bringToFront(int window) {
    auto it = std::find_if(zorder.begin(), zorder.end(), [&](const ZEntry& z) { return z.program && z.window == window; });
    if (it == zorder.end()) return;
    ZEntry entry = *it;
    zorder.erase(it);
    zorder.insert(zorder.begin(), entry);
}

int Model::foregroundWindow() {
    for (const ZEntry& z : zorder) {
        if (z.program) {
            const Window* w = findWindow(z.window);
            if (w && w->visible) return w->id;
        } else if (z.desktop.visible) {
            return 0;  // another program's window is in front
        }
    }
    return 0;
}

int Model::frontVisibleWindow() {
    for (const ZEntry& z : zorder) {
        const Window* w = z.program ? findWindow(z.window) : nullptr;
        if (w && w->visible) return w->id;
    }
    return 0;
}

bool Model::userCanReach(const Gadget* g) {
    if (!g || g->disabled || g->hidden) return false;
    const Window* w = findWindow(g->window);
    return w && w->visible && w->disableCount == 0;
}

void Model::selectOnly(Gadget& list, int row) {
    for (std::size_t i = 0; i < list.rows.size(); ++i) {
        if (static_cast<int>(i) == row)
            list.rows[i].bits |= row::Selected;
        else
            list.rows[i].bits &= ~row::Selected;
    }
}

bool Model::hasRow(const Gadget& list, int row) { return row >= 0 && row < static_cast<int>(list.rows.size()); }

int Model::spinValueOf(const Gadget& spin) { return spinValue(spin.text, spin.range, spin.state); }

std::uint32_t Model::ticksNow() {
    if (ticksFrozen) return frozenTicks;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms + tickOffset));
}

}  // namespace tv::scripted
