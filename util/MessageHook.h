#pragma once
// Utilities report to the user through a hook the front end installs; they never open a
// message box themselves. Without a hook the message goes to standard error.

#include <functional>
#include <string>

namespace zenivor {

using MessageHook = std::function<void(const std::string& text)>;

// Installs hook and returns the one it replaces.
MessageHook SetMessageHook(MessageHook hook);
void ShowUtilityMessage(const std::string& text);

}  // namespace zenivor
