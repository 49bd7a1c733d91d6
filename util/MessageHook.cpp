#include "util/MessageHook.h"

#include <iostream>
#include <mutex>

namespace zenivor {
namespace {

// The hook is shared by every thread of a batch; it is copied out under the lock and called
// outside it, so a hook may itself show a message or install another hook.
struct SharedHook {
    std::mutex mutex;
    MessageHook hook;
};

SharedHook& Hook() {
    static SharedHook shared;
    return shared;
}

}  // namespace

MessageHook SetMessageHook(MessageHook hook) {
    SharedHook& shared = Hook();
    const std::lock_guard lock(shared.mutex);
    std::swap(shared.hook, hook);
    return hook;
}

void ShowUtilityMessage(const std::string& text) {
    MessageHook hook;
    {
        SharedHook& shared = Hook();
        const std::lock_guard lock(shared.mutex);
        hook = shared.hook;
    }
    if (hook) {
        hook(text);
        return;
    }
    static std::mutex errorStream;
    const std::lock_guard lock(errorStream);
    std::cerr << text << '\n';
}

}  // namespace zenivor
