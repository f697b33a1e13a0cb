// What another thread may read of the gadgets: a copy that the UI thread
// keeps up to date as the widgets change, so that a worker's read never
// touches a widget off its thread.
#pragma once

#include <QString>
#include <QTreeWidget>

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace tv::qt {

// The bits of a list row, as the contract numbers them.
int rowBitsOf(const QTreeWidgetItem* item);
// The selected row of a list, -1 when none.
int selectedRowOf(QTreeWidget* list);

class GadgetMirror {
public:
    void setText(int id, const QString& text);
    void setState(int id, int state);
    void setTextState(int id, const QString& text, int state);
    // Every row of a list and its selection.
    void setList(int id, QTreeWidget* list);
    void setListRow(int id, QTreeWidget* list, QTreeWidgetItem* item);

    // "" and 0 for a gadget it does not know.
    std::string text(int id);
    int state(int id);
    int rowBits(int id, int row);

private:
    struct Entry {
        std::string text;
        int state = 0;
        std::vector<int> rows;
    };
    std::mutex mu_;
    std::unordered_map<int, Entry> entries_;
};

}  // namespace tv::qt
