#include "about/QtPlacementWindow.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace zenivor {
namespace {

QScreen* ScreenOf(const QWidget& window) {
    QScreen* screen = window.screen();
    return screen != nullptr ? screen : QGuiApplication::primaryScreen();
}

}  // namespace

float QtPlacementWindow::TwipsPerPixel() const {
    const QScreen* screen = ScreenOf(window_);
    const qreal dpi = screen != nullptr && screen->logicalDotsPerInchX() > 0 ? screen->logicalDotsPerInchX() : 96.0;
    return static_cast<float>(1440.0 / dpi);
}

std::optional<int> QtPlacementWindow::ToPixels(float twips) const {
    const float pixels = std::round(twips / TwipsPerPixel());
    if (!std::isfinite(pixels) || std::fabs(pixels) > 1.0e6f) return std::nullopt;
    return static_cast<int>(pixels);
}

Result<void> QtPlacementWindow::SetLeft(float left) {
    const std::optional<int> x = ToPixels(left);
    if (!x) return Error{errc::InvalidPropertyValue};
    window_.move(*x, window_.pos().y());
    return {};
}

Result<void> QtPlacementWindow::SetTop(float top) {
    const std::optional<int> y = ToPixels(top);
    if (!y) return Error{errc::InvalidPropertyValue};
    window_.move(window_.pos().x(), *y);
    return {};
}

float QtPlacementWindow::ScreenWidth() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen == nullptr ? 0.0f : ToTwips(screen->geometry().width());
}

float QtPlacementWindow::ScreenHeight() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen == nullptr ? 0.0f : ToTwips(screen->geometry().height());
}

std::vector<TwipRange> QtPlacementWindow::ScreensAcross() const {
    std::vector<TwipRange> ranges;
    for (const QScreen* screen : QGuiApplication::screens())
        ranges.push_back({ToTwips(screen->geometry().x()), ToTwips(screen->geometry().width())});
    return ranges;
}

std::vector<TwipRange> QtPlacementWindow::ScreensDown() const {
    std::vector<TwipRange> ranges;
    for (const QScreen* screen : QGuiApplication::screens())
        ranges.push_back({ToTwips(screen->geometry().y()), ToTwips(screen->geometry().height())});
    return ranges;
}

}  // namespace zenivor
