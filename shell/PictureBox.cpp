#include "shell/PictureBox.h"

#include <QImage>
#include <QPainter>

namespace zenivor {

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    const QColor face = palette().color(QPalette::Button);
    surface_.SetBackground({static_cast<std::uint8_t>(face.red()), static_cast<std::uint8_t>(face.green()),
                            static_cast<std::uint8_t>(face.blue())});
    surface_.Clear();
    setFixedSize(surface_.Width() + 2 * lineWidth(), surface_.Height() + 2 * lineWidth());
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    const QImage image(surface_.Pixels(), surface_.Width(), surface_.Height(), surface_.Width() * 3,
                       QImage::Format_RGB888);
    QPainter painter(this);
    painter.drawImage(contentsRect().topLeft(), image);
}

}  // namespace zenivor
