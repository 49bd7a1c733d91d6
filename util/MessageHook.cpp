#include "util/MessageHook.h"

#include <iostream>

namespace zenivor {
namespace {

MessageHook& Hook() {
    static MessageHook hook;
    return hook;
}

}  // namespace

MessageHook SetMessageHook(MessageHook hook) {
    std::swap(Hook(), hook);
    return hook;
}

void ShowUtilityMessage(const std::string& text) {
    if (Hook()) {
        Hook()(text);
        return;
    }
    std::cerr << text << '\n';
}

}  // namespace zenivor
