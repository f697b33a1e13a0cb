// What tests read of any backend beyond the contract. The program never
// includes this: it has no business looking inside its windows.
#pragma once

#include <string>

namespace tv {

class WindowProbe {
public:
    virtual ~WindowProbe() = default;

    virtual bool gadgetExists(int id) = 0;
    // Disabled or hidden by the program itself, not through its window.
    virtual bool isGadgetDisabled(int id) = 0;
    virtual bool isGadgetHidden(int id) = 0;
    virtual bool isWindowVisible(int id) = 0;
    // The title as the program last set it, whole.
    virtual std::string windowTitle(int id) = 0;
    // A combo row's text (column 0) or a list cell's; "" when there is none.
    virtual std::string getItemText(int id, int rowIndex, int column) = 0;
};

}  // namespace tv

// Every backend's probe declares the reads with this one list, as the
// backends declare the contract.
#define TV_WINDOW_PROBE_OVERRIDES \
    bool gadgetExists(int id) override; \
    bool isGadgetDisabled(int id) override; \
    bool isGadgetHidden(int id) override; \
    bool isWindowVisible(int id) override; \
    std::string windowTitle(int id) override; \
    std::string getItemText(int id, int rowIndex, int column) override;
