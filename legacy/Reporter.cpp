#include "legacy/Reporter.h"

#include <iostream>
#include <mutex>

namespace zenivor {
namespace {

class StandardError final : public MessageReporter {
public:
    void Report(const std::string& text) override {
        const std::lock_guard lock(mutex_);
        std::cerr << text << '\n';
    }

private:
    std::mutex mutex_;
};

}  // namespace

MessageReporter& StandardErrorReporter() {
    static StandardError reporter;
    return reporter;
}

}  // namespace zenivor
