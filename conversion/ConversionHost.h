#pragma once
// What the conversion needs from whoever shows it: the desktop window, the command-line
// converter and the tests each plug in their own.

#include <string>

#include "conversion/Cube.h"
#include "imaging/RgbImage.h"

namespace zenivor {

class ConversionHost {
public:
    virtual ~ConversionHost() = default;

    // Replaces the status line's text; it is shown at the next repaint.
    virtual void SetStatusText(const std::string& text) = 0;
    // Redraws the status line at once (no events are processed during a conversion).
    virtual void RepaintStatus() = 0;
    virtual void RepaintWindow() = 0;
    // A message with an OK button only; returns once it has been acknowledged.
    virtual void ShowMessage(const std::string& text) = 0;

    // The drawing surface: 504 x 504 pixels that keep what is drawn until cleared, the picture
    // the window shows.
    virtual RgbImage& Surface() = 0;
    virtual void RepaintSurface() = 0;
    // Fills the surface with its background colour.
    virtual void ClearSurface() = 0;

    // Whether the user asked the conversion to stop: it then stops at its next step, having
    // replaced nothing.
    virtual bool StopRequested() { return false; }
    // How far a long step (a panorama's projection) has come, from 0 to 1.
    virtual void ShowProgress(double fraction) { (void)fraction; }
};

// The toolkit's button face, the colour of a cleared picture box.
inline constexpr Rgb kDefaultBackground{240, 240, 240};

// A host with no display: it only keeps what it is told.
class MemoryHost : public ConversionHost {
public:
    explicit MemoryHost(Rgb background = kDefaultBackground)
        : background_(background), surface_(RgbImage::Filled(kFaceSize, kFaceSize, background)) {}

    void SetStatusText(const std::string& text) override { status_ = text; }
    void RepaintStatus() override {}
    void RepaintWindow() override {}
    void ShowMessage(const std::string& text) override { lastMessage_ = text; }
    RgbImage& Surface() override { return surface_; }
    void RepaintSurface() override {}
    void ClearSurface() override { surface_ = RgbImage::Filled(kFaceSize, kFaceSize, background_); }

    // Back to a blank status line, no message and a cleared surface.
    void Reset() {
        status_.clear();
        lastMessage_.clear();
        ClearSurface();
    }
    const std::string& Status() const { return status_; }
    const std::string& LastMessage() const { return lastMessage_; }
    Rgb Background() const { return background_; }

private:
    Rgb background_;
    std::string status_;
    std::string lastMessage_;
    RgbImage surface_;
};

}  // namespace zenivor
