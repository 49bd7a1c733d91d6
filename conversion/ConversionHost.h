#pragma once
// What the conversion needs from whoever shows it: the desktop window, the command-line
// converter and the tests each plug in their own.

#include <string>

#include "imaging/DrawingSurface.h"

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

    // The drawing surface: its device context, a repaint on screen and a clear.
    virtual HDC SurfaceDC() = 0;
    virtual void RepaintSurface() = 0;
    virtual void ClearSurface() = 0;
};

// A host with an in-memory drawing surface and no display: it only keeps what it is told.
class MemoryHost : public ConversionHost {
public:
    void SetStatusText(const std::string& text) override { status_ = text; }
    void RepaintStatus() override {}
    void RepaintWindow() override {}
    void ShowMessage(const std::string& text) override { lastMessage_ = text; }
    HDC SurfaceDC() override { return surface_.Dc(); }
    void RepaintSurface() override {}
    void ClearSurface() override { surface_.Clear(); }

    // Back to a blank status line, no message and a cleared surface.
    void Reset() {
        status_.clear();
        lastMessage_.clear();
        surface_.Clear();
    }
    const std::string& Status() const { return status_; }
    const std::string& LastMessage() const { return lastMessage_; }
    DrawingSurface& Surface() { return surface_; }

private:
    std::string status_;
    std::string lastMessage_;
    DrawingSurface surface_;
};

}  // namespace zenivor
