// What a test reads of the scripted model beyond the contract.
#include "backends/scripted/scripted_model.h"

namespace tv {

using scripted::Gadget;
using scripted::Window;

namespace {

template <class T, class Read>
T readGadget(scripted::Model& m, int id, T none, Read read) {
    std::lock_guard lock(m.mu);
    const Gadget* g = m.find(id);
    return g ? read(*g) : none;
}

template <class T, class Read>
T readWindow(scripted::Model& m, int id, T none, Read read) {
    std::lock_guard lock(m.mu);
    const Window* w = m.findWindow(id);
    return w ? read(*w) : none;
}

}  // namespace

bool ScriptedProbe::gadgetExists(int id) {
    return readGadget(model(), id, false, [](const Gadget&) { return true; });
}

bool ScriptedProbe::isGadgetDisabled(int id) {
    return readGadget(model(), id, false, [](const Gadget& g) { return g.disabled; });
}

bool ScriptedProbe::isGadgetHidden(int id) {
    return readGadget(model(), id, false, [](const Gadget& g) { return g.hidden; });
}

bool ScriptedProbe::isWindowVisible(int id) {
    return readWindow(model(), id, false, [](const Window& w) { return w.visible; });
}

std::string ScriptedProbe::windowTitle(int id) {
    return readWindow(model(), id, std::string(), [](const Window& w) { return w.title; });
}

std::string ScriptedProbe::getItemText(int id, int rowIndex, int column) {
    return readGadget(model(), id, std::string(), [rowIndex, column](const Gadget& g) -> std::string {
        if (g.kind == GadgetKind::Combo) {
            if (column != 0 || rowIndex < 0 || rowIndex >= static_cast<int>(g.items.size())) return "";
            return g.items[rowIndex];
        }
        if (g.kind != GadgetKind::List || !scripted::Model::hasRow(g, rowIndex)) return "";
        const scripted::Row& r = g.rows[rowIndex];
        if (column < 0 || column >= static_cast<int>(r.columns.size())) return "";
        return r.columns[column];
    });
}

ScriptedProbe::FontInfo ScriptedProbe::fontInfo(FontId font) {
    scripted::Model& m = model();
    std::lock_guard lock(m.mu);
    if (font < 1 || font > static_cast<int>(m.fonts.size())) return FontInfo{};
    return m.fonts[font - 1];
}

std::optional<Rect> ScriptedProbe::windowRect(int id) {
    return readWindow(model(), id, std::optional<Rect>(), [](const Window& w) { return std::optional(w.rect); });
}

unsigned ScriptedProbe::windowFlags(int id) {
    return readWindow(model(), id, 0u, [](const Window& w) { return w.flags; });
}

bool ScriptedProbe::isWindowDisabled(int id) {
    return readWindow(model(), id, false, [](const Window& w) { return w.disableCount > 0; });
}

int ScriptedProbe::activeWindow() {
    std::lock_guard lock(model().mu);
    return model().foregroundWindow();
}

std::optional<GadgetKind> ScriptedProbe::gadgetKind(int id) {
    return readGadget(model(), id, std::optional<GadgetKind>(), [](const Gadget& g) { return std::optional(g.kind); });
}

int ScriptedProbe::gadgetWindow(int id) {
    return readGadget(model(), id, 0, [](const Gadget& g) { return g.window; });
}

std::optional<Rect> ScriptedProbe::gadgetRect(int id) {
    return readGadget(model(), id, std::optional<Rect>(), [](const Gadget& g) { return std::optional(g.rect); });
}

std::string ScriptedProbe::toolTip(int id) {
    return readGadget(model(), id, std::string(), [](const Gadget& g) { return g.toolTip; });
}

FontId ScriptedProbe::gadgetFont(int id) {
    return readGadget(model(), id, FontId{0}, [](const Gadget& g) { return g.font; });
}

std::optional<Colour> ScriptedProbe::gadgetColour(int id, int which) {
    return readGadget(model(), id, std::optional<Colour>(), [which](const Gadget& g) {
        return which == colour_which::Text ? g.textColour : g.backColour;
    });
}

Align ScriptedProbe::textAlign(int id) {
    return readGadget(model(), id, Align::Left, [](const Gadget& g) { return g.align; });
}

std::vector<std::string> ScriptedProbe::columnTitles(int id) {
    return readGadget(model(), id, std::vector<std::string>(), [](const Gadget& g) {
        std::vector<std::string> out;
        for (const scripted::Column& c : g.columns) out.push_back(c.title);
        return out;
    });
}

std::pair<int, int> ScriptedProbe::gadgetRange(int id) {
    return readGadget(model(), id, std::pair<int, int>(), [](const Gadget& g) {
        return std::pair<int, int>(g.range.lo, g.range.hi);
    });
}

int ScriptedProbe::focusedGadget() {
    std::lock_guard lock(model().mu);
    return model().focus;
}

std::vector<LanguageChoice> ScriptedProbe::languageLog() {
    std::lock_guard lock(model().mu);
    return model().languages;
}

}  // namespace tv
