// One joinable thread without exceptions: starting reports failure as false
// instead of throwing, so the caller can carry on without a worker.
#pragma once

#include <pthread.h>

#include <functional>
#include <memory>

namespace tv::platform {

class Thread {
public:
    Thread() = default;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    // A thread still running at destruction is joined, never left detached
    // with references into freed state.
    ~Thread() { join(); }

    // Runs body on a new thread. False, and nothing runs, when the system
    // refuses a thread or one is already held.
    bool start(std::function<void()> body);
    bool joinable() const { return running_; }
    void join();

private:
    static void* trampoline(void* arg);
    pthread_t handle_{};
    bool running_ = false;
};

}  // namespace tv::platform
