#include "shell/program.h"

#include "platform/files.h"

namespace tv {

std::string workPath(const Program& p, const std::string& name) {
    if (p.workDir.empty()) return name;
    if (p.workDir.back() == platform::Separator) return p.workDir + name;
    return p.workDir + platform::Separator + name;
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

int askWorkerQuestion(Program& p, Question q, const std::string& subject, const std::string& caption,
                      const std::string& text, unsigned type) {
    if (p.policy.answer)
        if (std::optional<int> a = p.policy.answer(q, subject)) return *a;
    return p.ui.messageBox(caption, text, type);
}

std::string askNewName(Program& p, Question q, const std::string& current) {
    if (p.policy.newName)
        if (std::optional<std::string> name = p.policy.newName(q, current)) return *name;
    return p.ui.inputBox(p.texts.lookup("Info.FileOverwrite.New.Title"),
                         p.texts.lookup("Info.FileOverwrite.New.Message") + " :", current);
}

void prepareEngine(Program& p) {
    img::register_jpeg_decoder(p.engine);
    img::register_jpeg_encoder(p.engine);
    img::register_png_decoder(p.engine);
    img::register_png_encoder(p.engine);

    // The table is built from its one list, slot 1 onwards.
    const std::string list = "bmp,jpg,jpeg,png";
    p.extensions.fill(std::string());
    int slot = 1;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = list.find(',', start);
        std::string field = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (slot < static_cast<int>(p.extensions.size())) p.extensions[slot] = field;
        if (comma == std::string::npos) break;
        ++slot;
        start = comma + 1;
    }
    p.extensionCount = slot;
}

int showWarning(Program& p, const std::string& text, unsigned buttons) {
    std::string caption = std::string(ProductName) + " - " + p.texts.lookup("Error");
    return p.ui.messageBox(caption, text, (buttons & mb::ButtonMask) | mb::IconWarning);
}

}  // namespace tv
