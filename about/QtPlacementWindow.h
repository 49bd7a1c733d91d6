#pragma once
// A Qt window seen through the placement routines' interface, in twips: 1440 per logical
// inch of its screen (15 per pixel at 96 dots per inch).

#include <QWidget>
#include <optional>

#include "legacy/FormPosition.h"

namespace zenivor {

class QtPlacementWindow final : public PlacementWindow {
public:
    explicit QtPlacementWindow(QWidget& window) : window_(window) {}

    std::string Caption() const override { return window_.windowTitle().toStdString(); }
    bool Minimised() const override { return window_.isMinimized(); }
    float Left() const override { return ToTwips(window_.pos().x()); }
    float Top() const override { return ToTwips(window_.pos().y()); }
    float Width() const override { return ToTwips(window_.frameGeometry().width()); }
    float Height() const override { return ToTwips(window_.frameGeometry().height()); }
    Result<void> SetLeft(float left) override;
    Result<void> SetTop(float top) override;
    float ScreenWidth() const override;
    float ScreenHeight() const override;
    std::vector<TwipRange> ScreensAcross() const override;
    std::vector<TwipRange> ScreensDown() const override;

    float TwipsPerPixel() const;

private:
    float ToTwips(int pixels) const { return static_cast<float>(pixels) * TwipsPerPixel(); }
    // Nothing for a coordinate no window can take.
    std::optional<int> ToPixels(float twips) const;

    QWidget& window_;
};

}  // namespace zenivor
