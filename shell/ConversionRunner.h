#pragma once
// Conversions off the window's thread. A conversion sees the window through a host that brings
// every status text, picture, progress and message back to the window's thread in the order it
// gave them: the window repaints and takes input meanwhile, and a message still waits for its OK
// before the conversion goes on. One conversion runs at a time.

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "conversion/SkyContext.h"

namespace zenivor {

class frmZenivor;

class ConversionRunner {
public:
    using Work = std::function<SkyResult(ConversionHost& host)>;
    using Done = std::function<void(const SkyResult& result)>;

    explicit ConversionRunner(frmZenivor& window);
    // Waits for a conversion still running.
    ~ConversionRunner();
    ConversionRunner(const ConversionRunner&) = delete;
    ConversionRunner& operator=(const ConversionRunner&) = delete;

    bool Busy() const { return busy_; }
    // Runs work on a thread of its own; done is called on the window's thread with its result.
    void Start(Work work, Done done);
    // Asks the conversion to stop at its next step; it then replaces nothing.
    void RequestStop() { stop_ = true; }
    // Handles the window's events until no conversion runs.
    void Wait();

private:
    class WorkerHost;

    frmZenivor& window_;
    std::unique_ptr<WorkerHost> host_;
    std::thread thread_;
    bool busy_ = false;
    std::atomic<bool> stop_{false};
};

}  // namespace zenivor
