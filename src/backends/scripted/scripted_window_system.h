// A headless window system for tests: an in-memory model of windows,
// gadgets, events and requesters that honours the windowing contract, with
// the probe (scripted_probe.h) through which a test plays the user.
#pragma once

#include "backends/scripted/scripted_model.h"
#include "backends/scripted/scripted_probe.h"
#include "ui/window_system.h"

namespace tv {

class ScriptedWindowSystem : public WindowSystem, public ScriptedProbe {
public:
    ScriptedWindowSystem();
    ~ScriptedWindowSystem() override;
    ScriptedWindowSystem(const ScriptedWindowSystem&) = delete;
    ScriptedWindowSystem& operator=(const ScriptedWindowSystem&) = delete;

    TV_WINDOW_SYSTEM_OVERRIDES

private:
    scripted::Model& model() override { return model_; }
    bool create(scripted::Gadget g);

    scripted::Model model_;
};

}  // namespace tv
