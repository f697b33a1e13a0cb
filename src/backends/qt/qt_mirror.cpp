#include "backends/qt/qt_mirror.h"

#include <algorithm>

#include "backends/qt/qt_widgets.h"
#include "ui/window_system.h"

namespace tv::qt {

void GadgetMirror::setText(int id, const QString& text) {
    std::lock_guard lock(mu_);
    entries_[id].text = ss(text);
}

void GadgetMirror::setState(int id, int state) {
    std::lock_guard lock(mu_);
    entries_[id].state = state;
}

void GadgetMirror::setTextState(int id, const QString& text, int state) {
    std::lock_guard lock(mu_);
    Entry& e = entries_[id];
    e.text = ss(text);
    e.state = state;
}

void GadgetMirror::insertListRow(int id, int row, bool ticked, int selectedRow) {
    std::lock_guard lock(mu_);
    Entry& e = entries_[id];
    const auto at = std::size_t(std::clamp<std::ptrdiff_t>(row, 0, std::ptrdiff_t(e.ticks.size())));
    e.ticks.insert(e.ticks.begin() + std::ptrdiff_t(at), ticked ? 1 : 0);
    rowWrites_ += static_cast<long long>(e.ticks.size() - at);
    e.state = selectedRow;
}

void GadgetMirror::setListTick(int id, int row, bool ticked) {
    std::lock_guard lock(mu_);
    Entry& e = entries_[id];
    if (row < 0 || std::size_t(row) >= e.ticks.size()) return;
    e.ticks[std::size_t(row)] = ticked ? 1 : 0;
    ++rowWrites_;
}

void GadgetMirror::setListSelection(int id, int selectedRow) {
    std::lock_guard lock(mu_);
    entries_[id].state = selectedRow;
}

std::string GadgetMirror::text(int id) {
    std::lock_guard lock(mu_);
    auto it = entries_.find(id);
    return it == entries_.end() ? std::string() : it->second.text;
}

int GadgetMirror::state(int id) {
    std::lock_guard lock(mu_);
    auto it = entries_.find(id);
    return it == entries_.end() ? 0 : it->second.state;
}

int GadgetMirror::rowBits(int id, int row) {
    std::lock_guard lock(mu_);
    auto it = entries_.find(id);
    if (it == entries_.end() || row < 0 || std::size_t(row) >= it->second.ticks.size()) return 0;
    const Entry& e = it->second;
    return (e.state == row ? row::Selected : 0) | (e.ticks[std::size_t(row)] ? row::Ticked : 0);
}

long long GadgetMirror::rowWrites() {
    std::lock_guard lock(mu_);
    return rowWrites_;
}

}  // namespace tv::qt
