#include "shell/program.h"

namespace tv {

std::string workPath(const Program& p, const std::string& name) {
    if (p.workDir.empty()) return name;
    if (p.workDir.back() == '/') return p.workDir + name;
    return p.workDir + "/" + name;
}

void endProgram(Program& p) {
    if (p.ended) return;
    p.ended = true;
    stopWorker(p);
    // A worker waiting in a question must be able to see the stop.
    p.ui.shutdown();
}

void pauseWorker(Program& p) {
    int expected = static_cast<int>(WorkerGate::Run);
    p.gate.compare_exchange_strong(expected, static_cast<int>(WorkerGate::Pause));
}

void continueWorker(Program& p) {
    int expected = static_cast<int>(WorkerGate::Pause);
    if (p.gate.compare_exchange_strong(expected, static_cast<int>(WorkerGate::Run))) p.gate.notify_all();
}

void stopWorker(Program& p) {
    p.gate.store(static_cast<int>(WorkerGate::Stop));
    p.gate.notify_all();
}

bool workerShouldStop(Program& p) {
    for (;;) {
        int g = p.gate.load();
        if (g == static_cast<int>(WorkerGate::Run)) return false;
        if (g == static_cast<int>(WorkerGate::Stop)) return true;
        p.gate.wait(g);  // paused: holds nothing the UI thread needs
    }
}

int showWarning(Program& p, const std::string& text, unsigned buttons) {
    std::string caption = std::string(ProductName) + " - " + p.texts.lookup("Error");
    return p.ui.messageBox(caption, text, (buttons & mb::ButtonMask) | mb::IconWarning);
}

}  // namespace tv
