#include "backends/qt/qt_mirror.h"

#include "backends/qt/qt_widgets.h"
#include "ui/window_system.h"

namespace tv::qt {

int rowBitsOf(const QTreeWidgetItem* item) {
    return (item->isSelected() ? row::Selected : 0) | (item->checkState(0) == Qt::Checked ? row::Ticked : 0);
}

int selectedRowOf(QTreeWidget* list) {
    const auto selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.first());
}

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

void GadgetMirror::setList(int id, QTreeWidget* list) {
    std::vector<int> rows(static_cast<std::size_t>(list->topLevelItemCount()));
    for (int i = 0; i < list->topLevelItemCount(); ++i) rows[std::size_t(i)] = rowBitsOf(list->topLevelItem(i));
    int selected = selectedRowOf(list);
    std::lock_guard lock(mu_);
    Entry& e = entries_[id];
    e.rows = std::move(rows);
    e.state = selected;
}

void GadgetMirror::setListRow(int id, QTreeWidget* list, QTreeWidgetItem* item) {
    int index = list->indexOfTopLevelItem(item);
    if (index < 0) return;
    std::lock_guard lock(mu_);
    Entry& e = entries_[id];
    if (std::size_t(index) < e.rows.size()) e.rows[std::size_t(index)] = rowBitsOf(item);
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
    if (it == entries_.end() || row < 0 || std::size_t(row) >= it->second.rows.size()) return 0;
    return it->second.rows[std::size_t(row)];
}

}  // namespace tv::qt
