#include "shell/PictureBox.h"

#include <QImage>
#include <QPainter>

#include "conversion/Cube.h"

namespace zenivor {

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    const QColor face = palette().color(QPalette::Button);
    background_ = {static_cast<std::uint8_t>(face.red()), static_cast<std::uint8_t>(face.green()),
                   static_cast<std::uint8_t>(face.blue())};
    Clear();
    setFixedSize(kFaceSize + 2 * lineWidth(), kFaceSize + 2 * lineWidth());
}

void PictureBox::Clear() { surface_ = RgbImage::Filled(kFaceSize, kFaceSize, background_); }

void PictureBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    const QImage image(surface_.pixels.data(), surface_.width, surface_.height,
                       static_cast<qsizetype>(surface_.RowBytes()), QImage::Format_BGR888);
    QPainter painter(this);
    painter.drawImage(contentsRect().topLeft(), image);
}

}  // namespace zenivor
