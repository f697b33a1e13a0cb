// What another thread may read of the gadgets: a copy that the UI thread
// keeps up to date as the widgets change, so that a worker's read never
// touches a widget off its thread.
#pragma once

#include <QString>

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace tv::qt {

class GadgetMirror {
public:
    void setText(int id, const QString& text);
    void setState(int id, int state);
    void setTextState(int id, const QString& text, int state);
    // A list's rows, one change at a time: each call costs the rows it
    // changes, never a copy of the whole list, so that filling and ticking
    // a list of n rows costs n. A list's state is its selected row.
    void insertListRow(int id, int row, bool ticked, int selectedRow);
    void setListTick(int id, int row, bool ticked);
    void setListSelection(int id, int selectedRow);

    // "" and 0 for a gadget it does not know.
    std::string text(int id);
    int state(int id);
    int rowBits(int id, int row);

    // How many list rows have been written so far, moved ones included.
    long long rowWrites();

private:
    struct Entry {
        std::string text;
        int state = 0;
        std::vector<std::uint8_t> ticks;  // of a list's rows
    };
    std::mutex mu_;
    std::unordered_map<int, Entry> entries_;
    long long rowWrites_ = 0;
};

}  // namespace tv::qt
