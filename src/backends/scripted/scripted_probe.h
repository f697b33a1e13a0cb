// What tests do to the scripted backend besides calling the contract: play
// the user, script the requesters, steer time, and look inside. Only tests
// include this; the program never does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/contract_rules.h"
#include "ui/probe.h"
#include "ui/window_system.h"

namespace tv {

namespace scripted {
class Model;
}

// One requester as it was shown and answered.
struct RequesterRecord {
    RequesterKind kind = RequesterKind::MessageBox;
    std::string title;
    std::string text;         // message text, or the input box prompt
    unsigned type = 0;        // message box buttons | icon
    std::string defaultText;  // input box default text, or the chooser's initial folder
    int answer = 0;           // message box answer
    std::string answerText;   // chooser or input box answer
    bool fromOtherThread = false;    // asked from a thread other than the UI thread
    int ownerWindow = 0;             // program window in the foreground when asked, 0 = none
    bool ownerDisabled = false;      // that window was disabled while the requester was open
    bool afterShutdown = false;      // answered at once because shutdown() had been called
};

// One language the program asked the window system to use.
struct LanguageChoice {
    std::string code;
    std::size_t windowsOpen = 0;  // program windows that existed then
    bool operator==(const LanguageChoice&) const = default;
};

// What a scripted answer provider decides.
struct RequesterAnswer {
    int answer = 0;
    std::string text;
};

class ScriptedProbe : public WindowProbe {
public:
    // ---- driver: the user's actions. Each returns false when the user
    // could not do it (no such gadget, wrong kind, disabled or hidden gadget,
    // hidden or disabled window, row out of range). ----
    bool click(int gadget);                            // button; check box toggles first
    bool typeText(int gadget, std::string_view text);  // string field or spin edit part
    bool selectComboRow(int combo, int row);
    bool selectRow(int list, int row);                 // clicks a row: selects it alone
    bool clickBelowRows(int list);                     // clicks the empty area: no selection
    bool tickRow(int list, int row, bool ticked);
    bool setSpinText(int spin, std::string_view text);  // typing into the spin: text only
    bool stepSpin(int spin, int delta);                 // the arrows: value within the range
    bool closeWindow(int window);                       // the close box
    void queueEvent(const Event& event);                // raw, duplicates still merge
    void setClipboard(std::string text);
    // A window of another program; front = put it before every window.
    void addDesktopWindow(std::string title, bool visible, bool toolWindow, bool front = false);

    // ---- requesters ----
    // FIFOs of scripted answers; used in order, one per requester of the kind.
    void pushAnswer(int messageBoxAnswer);
    void pushTextAnswer(std::string text);  // folder chooser and input box
    // Decides answers before the FIFOs; nullopt falls through to them. Called
    // without the model lock, from the asking thread.
    void setAnswerProvider(std::function<std::optional<RequesterAnswer>(const RequesterRecord&)> provider);
    // While held, every requester stays open until holdRequesters(false) or shutdown().
    void holdRequesters(bool hold);
    int openRequesterCount();
    // Waits (real time) until at least count requesters are open.
    bool waitForOpenRequesters(int count, int timeoutMs);
    std::vector<RequesterRecord> requesterLog();
    bool isShutDown();

    // ---- events and time ----
    // Called by waitEvent, without the lock, whenever the queue is empty.
    void setIdleCallback(std::function<void()> callback);
    // True once waitEvent(NoLimit) found nothing left to deliver.
    bool starved();
    std::size_t pendingEvents();
    void setTickOffset(std::int64_t offsetMs);  // added to the steady clock
    void freezeTicks(std::uint32_t value);      // tickCount answers value until advanced
    void advanceTicks(std::uint32_t ms);        // frozen value or offset moves on
    void unfreezeTicks();

    // ---- inspection ----
    TV_WINDOW_PROBE_OVERRIDES

    struct FontInfo {
        std::string name;
        int points = 0;
        bool bold = false;
    };
    FontInfo fontInfo(FontId font);
    std::optional<Rect> windowRect(int id);
    unsigned windowFlags(int id);
    bool isWindowDisabled(int id);
    int activeWindow();  // front-most visible program window, 0 = none
    std::optional<GadgetKind> gadgetKind(int id);
    int gadgetWindow(int id);
    std::optional<Rect> gadgetRect(int id);
    std::string toolTip(int id);
    FontId gadgetFont(int id);
    std::optional<Colour> gadgetColour(int id, int which);
    Align textAlign(int id);
    std::vector<std::string> columnTitles(int id);
    std::pair<int, int> gadgetRange(int id);  // spin and progress bar
    int focusedGadget();
    // Every useLanguage call, in order.
    std::vector<LanguageChoice> languageLog();

private:
    // The backend's model, which the probe acts on and reads.
    virtual scripted::Model& model() = 0;
};

}  // namespace tv
