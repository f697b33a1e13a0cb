#include "platform/thread.h"

#include <new>
#include <utility>

namespace tv::platform {

void* Thread::trampoline(void* arg) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
    (*body)();
    return nullptr;
}

bool Thread::start(std::function<void()> body) {
    if (running_ || !body) return false;
    auto* owned = new (std::nothrow) std::function<void()>(std::move(body));
    if (!owned) return false;
    if (pthread_create(&handle_, nullptr, &Thread::trampoline, owned) != 0) {
        delete owned;
        return false;
    }
    running_ = true;
    return true;
}

void Thread::join() {
    if (!running_) return;
    pthread_join(handle_, nullptr);
    running_ = false;
}

}  // namespace tv::platform
