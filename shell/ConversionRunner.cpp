#include "shell/ConversionRunner.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "shell/PictureBox.h"
#include "shell/frmZenivor.h"

namespace zenivor {

// The conversion's own drawing surface, shown in the window's picture whenever it repaints it.
class ConversionRunner::WorkerHost final : public ConversionHost {
public:
    WorkerHost(frmZenivor& window, const std::atomic<bool>& stop)
        : window_(window),
          stop_(stop),
          background_(window.picMap()->Background()),
          surface_(window.picMap()->Surface()) {}

    void SetStatusText(const std::string& text) override {
        Later([text](frmZenivor& window) { window.SetStatusText(text); });
    }
    // The window repaints itself now that it takes events.
    void RepaintStatus() override {}
    void RepaintWindow() override {}
    void ShowMessage(const std::string& text) override {
        QMetaObject::invokeMethod(
            &window_, [this, &text] { window_.ShowMessage(text); }, Qt::BlockingQueuedConnection);
    }
    RgbImage& Surface() override { return surface_; }
    void RepaintSurface() override {
        Later([picture = surface_](frmZenivor& window) {
            window.Surface() = picture;
            window.RepaintSurface();
        });
    }
    void ClearSurface() override {
        surface_ = RgbImage::Filled(kFaceSize, kFaceSize, background_);
        Later([](frmZenivor& window) { window.ClearSurface(); });
    }
    bool StopRequested() override { return stop_; }
    void ShowProgress(double fraction) override {
        Later([fraction](frmZenivor& window) { window.ShowProgress(fraction); });
    }

private:
    template <typename Change>
    void Later(Change change) {
        QMetaObject::invokeMethod(
            &window_, [&window = window_, change] { change(window); }, Qt::QueuedConnection);
    }

    frmZenivor& window_;
    const std::atomic<bool>& stop_;
    Rgb background_;
    RgbImage surface_;
};

ConversionRunner::ConversionRunner(frmZenivor& window) : window_(window) {}

ConversionRunner::~ConversionRunner() {
    if (thread_.joinable()) thread_.join();
}

void ConversionRunner::Start(Work work, Done done) {
    if (busy_) return;
    if (thread_.joinable()) thread_.join();
    busy_ = true;
    stop_ = false;
    host_ = std::make_unique<WorkerHost>(window_, stop_);
    window_.SetConverting(true);
    thread_ = std::thread([this, work = std::move(work), done = std::move(done)] {
        const SkyResult result = work(*host_);
        QMetaObject::invokeMethod(
            &window_,
            [this, result, done] {
                if (thread_.joinable()) thread_.join();
                busy_ = false;
                window_.SetConverting(false);
                done(result);
            },
            Qt::QueuedConnection);
    });
}

void ConversionRunner::Wait() {
    while (busy_) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace zenivor
