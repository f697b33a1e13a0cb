// The scripted backend's message box, folder chooser and input box: how
// they are asked and answered, and how a test scripts the answers.
#include "backends/scripted/scripted_window_system.h"

namespace tv {

namespace scripted {

RequesterAnswer Model::ask(RequesterRecord record) {
    std::unique_lock lock(mu);
    record.fromOtherThread = std::this_thread::get_id() != uiThread;
    RequesterAnswer result;
    result.answer = record.kind == RequesterKind::MessageBox ? closedAnswer(record.type) : 0;
    if (shutDown) {
        record.afterShutdown = true;
        record.answer = result.answer;
        log.push_back(record);
        return result;
    }

    record.ownerWindow = foregroundWindow();
    std::vector<int> disabled;
    for (auto& [id, w] : windows) {
        if (requesterDisables(id, w.visible, record.ownerWindow, !record.fromOtherThread)) {
            ++w.disableCount;
            disabled.push_back(id);
        }
    }
    ++openRequesters;
    requesterChanged.notify_all();
    requesterChanged.wait(lock, [&] { return !hold || shutDown; });
    if (const Window* owner = findWindow(record.ownerWindow)) record.ownerDisabled = owner->disableCount > 0;

    bool decided = false;
    if (!shutDown && provider) {
        auto decide = provider;
        lock.unlock();
        std::optional<RequesterAnswer> chosen = decide(record);
        lock.lock();
        if (chosen) {
            result = *chosen;
            decided = true;
        }
    }
    if (!decided && shutDown) {
        record.afterShutdown = true;
    } else if (!decided) {
        if (record.kind == RequesterKind::MessageBox) {
            if (!answers.empty()) {
                result.answer = answers.front();
                answers.pop_front();
            }
        } else if (!textAnswers.empty()) {
            result.text = textAnswers.front();
            textAnswers.pop_front();
        }
    }

    for (int id : disabled)
        if (Window* w = findWindow(id)) --w->disableCount;
    --openRequesters;
    requesterChanged.notify_all();
    record.answer = result.answer;
    record.answerText = result.text;
    log.push_back(record);
    return result;
}

}  // namespace scripted

// ---- the contract ----

int ScriptedWindowSystem::messageBox(std::string_view title, std::string_view text, unsigned type) {
    RequesterRecord r;
    r.kind = RequesterKind::MessageBox;
    r.title = std::string(title);
    r.text = std::string(text);
    r.type = type;
    return model_.ask(std::move(r)).answer;
}

std::string ScriptedWindowSystem::folderChooser(std::string_view title, std::string_view initialFolder) {
    RequesterRecord r;
    r.kind = RequesterKind::FolderChooser;
    r.title = std::string(title);
    r.defaultText = std::string(initialFolder);
    return chosenFolder(model_.ask(std::move(r)).text);
}

std::string ScriptedWindowSystem::inputBox(std::string_view title, std::string_view prompt,
                                           std::string_view defaultText) {
    RequesterRecord r;
    r.kind = RequesterKind::InputBox;
    r.title = std::string(title);
    r.text = std::string(prompt);
    r.defaultText = std::string(defaultText);
    return model_.ask(std::move(r)).text;
}

void ScriptedWindowSystem::shutdown() {
    std::lock_guard lock(model_.mu);
    model_.shutDown = true;
    model_.requesterChanged.notify_all();
    model_.eventArrived.notify_all();
}

// ---- scripting the answers ----

void ScriptedProbe::pushAnswer(int messageBoxAnswer) {
    std::lock_guard lock(model().mu);
    model().answers.push_back(messageBoxAnswer);
}

void ScriptedProbe::pushTextAnswer(std::string text) {
    std::lock_guard lock(model().mu);
    model().textAnswers.push_back(std::move(text));
}

void ScriptedProbe::setAnswerProvider(
    std::function<std::optional<RequesterAnswer>(const RequesterRecord&)> provider) {
    std::lock_guard lock(model().mu);
    model().provider = std::move(provider);
}

void ScriptedProbe::holdRequesters(bool hold) {
    std::lock_guard lock(model().mu);
    model().hold = hold;
    model().requesterChanged.notify_all();
}

int ScriptedProbe::openRequesterCount() {
    std::lock_guard lock(model().mu);
    return model().openRequesters;
}

bool ScriptedProbe::waitForOpenRequesters(int count, int timeoutMs) {
    scripted::Model& m = model();
    std::unique_lock lock(m.mu);
    return m.requesterChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                       [&] { return m.openRequesters >= count; });
}

std::vector<RequesterRecord> ScriptedProbe::requesterLog() {
    std::lock_guard lock(model().mu);
    return model().log;
}

bool ScriptedProbe::isShutDown() {
    std::lock_guard lock(model().mu);
    return model().shutDown;
}

}  // namespace tv
