#include "shell/CubePane.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

namespace zenivor {
namespace {

constexpr double kKeyTurn = 5;    // degrees an arrow key turns
constexpr double kPageTurn = 45;  // and PgUp/PgDn, up or down
constexpr double kZoomStep = 5;   // degrees of field of view a wheel notch or +/- changes
constexpr Rgb kEmptyCell{64, 64, 64};

QImage Wrapped(const RgbImage& image) {
    return QImage(image.pixels.data(), image.width, image.height, static_cast<qsizetype>(image.RowBytes()),
                  QImage::Format_BGR888);
}

void PaintNote(QPainter& painter, const QRect& area, const QString& text) {
    painter.setPen(Qt::white);
    painter.drawText(area.adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
}

}  // namespace

QString FaceLabel(Face face) {
    switch (face) {
        case Face::North: return QStringLiteral("North");
        case Face::West: return QStringLiteral("West");
        case Face::South: return QStringLiteral("South");
        case Face::East: return QStringLiteral("East");
        case Face::SkyCap: return QStringLiteral("Sky");
        case Face::Ground: return QStringLiteral("Ground");
    }
    return {};
}

CubePane::CubePane(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(240, 180);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CubePane::~CubePane() = default;

void CubePane::ShowCube(const std::array<RgbImage, 6>& faces, const QString& caption) {
    std::array<RgbImage, 6> square = faces;
    // A face that could not be read, or of another size, shows as an empty cell.
    for (RgbImage& face : square)
        if (face.width != kFaceSize || face.height != kFaceSize)
            face = RgbImage::Filled(kFaceSize, kFaceSize, kEmptyCell);
    cross_ = CrossImage(faces, kEmptyCell);
    lookAround_ = std::make_unique<CubeLookAround>(square);
    panorama_.reset();
    caption_ = caption;
    update();
}

void CubePane::ShowPanorama(std::shared_ptr<const PanoramaLookAround> panorama, const PanoramaView& turn,
                            const QString& caption) {
    lookAround_.reset();
    cross_ = {};
    panorama_ = std::move(panorama);
    turn_ = turn;
    caption_ = caption;
    mode_ = Mode::LookAround;
    update();
}

void CubePane::SetPanoramaTurn(const PanoramaView& turn) {
    turn_ = turn;
    update();
}

void CubePane::Clear() {
    lookAround_.reset();
    panorama_.reset();
    cross_ = {};
    caption_.clear();
    update();
}

void CubePane::SetMode(Mode mode) {
    mode_ = mode;
    update();
}

void CubePane::SetAngles(ViewAngles angles) {
    angles.fieldOfView = std::clamp(angles.fieldOfView, kNarrowestFieldOfView, kWidestFieldOfView);
    angles.pitch = std::clamp(angles.pitch, -90.0, 90.0);
    angles.yaw = std::remainder(angles.yaw, 360.0);
    angles_ = angles;
    if (anglesChanged_) anglesChanged_();
    update();
}

RgbImage CubePane::View(int width, int height) const {
    RgbImage view = RgbImage::Filled(width, height, kEmptyCell);
    if (lookAround_) lookAround_->Render(angles_, view);
    if (panorama_) panorama_->Render(angles_, turn_, view);
    return view;
}

void CubePane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(kEmptyCell[0], kEmptyCell[1], kEmptyCell[2]));
    if (!HasCube()) {
        PaintNote(painter, rect(),
                  QStringLiteral("The cube appears here after a conversion, or with File > Open Cube."));
        return;
    }
    if (mode_ == Mode::Cross && !panorama_)
        PaintCross(painter);
    else
        PaintLookAround(painter);
}

void CubePane::PaintCross(QPainter& painter) {
    const QSize size = QSize(cross_.width, cross_.height).scaled(this->size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, Wrapped(cross_));
    const double cell = static_cast<double>(size.width()) / kCrossColumns;
    for (const Face face : kAllFaces) {
        const CrossCell at = CrossCellOf(face);
        const QRect area(target.left() + static_cast<int>(at.column * cell),
                         target.top() + static_cast<int>(at.row * cell), static_cast<int>(cell),
                         static_cast<int>(cell));
        // The file's name too where the cell has room for it.
        const QString name = FaceLabel(face);
        const QString label = cell >= 110 ? name + QLatin1Char('\n') + QString::fromLatin1(FileNameOf(face)) : name;
        painter.setPen(Qt::black);
        painter.drawText(area.adjusted(7, 5, -5, -3), Qt::AlignLeft | Qt::AlignTop, label);
        PaintNote(painter, area, label);
    }
    PaintNote(painter, QRect(0, height() - 24, width(), 24), caption_);
}

void CubePane::PaintLookAround(QPainter& painter) {
    // Straight from a panorama, at half the pixels, so that the view keeps up with every change.
    const qreal ratio = panorama_ ? devicePixelRatioF() / 2 : devicePixelRatioF();
    const int width = std::max(1, static_cast<int>(this->width() * ratio));
    const int height = std::max(1, static_cast<int>(this->height() * ratio));
    if (frame_.width != width || frame_.height != height) frame_ = RgbImage::Unfilled(width, height);
    if (panorama_)
        panorama_->Render(angles_, turn_, frame_);
    else
        lookAround_->Render(angles_, frame_);
    QImage image = Wrapped(frame_);
    image.setDevicePixelRatio(ratio);
    painter.drawImage(QPoint(0, 0), image);
    PaintNote(painter, rect(), caption_ + QStringLiteral("\nDrag to look round, wheel to zoom, Home to face North"));
}

void CubePane::Turn(double yaw, double pitch) {
    SetAngles({angles_.yaw + yaw, angles_.pitch + pitch, angles_.fieldOfView});
}

void CubePane::Zoom(double degrees) { SetAngles({angles_.yaw, angles_.pitch, angles_.fieldOfView + degrees}); }

void CubePane::mousePressEvent(QMouseEvent* event) {
    dragging_ = event->button() == Qt::LeftButton;
    dragFrom_ = event->position().toPoint();
    setFocus();
}

// Dragging moves the view with the pointer: a pixel across is the field of view over the width.
void CubePane::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || (mode_ != Mode::LookAround && !panorama_)) return;
    const QPoint now = event->position().toPoint();
    const double perPixel = angles_.fieldOfView / std::max(1, width());
    Turn(-(now.x() - dragFrom_.x()) * perPixel, (now.y() - dragFrom_.y()) * perPixel);
    dragFrom_ = now;
}

void CubePane::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void CubePane::wheelEvent(QWheelEvent* event) {
    if (mode_ != Mode::LookAround) return;
    Zoom(event->angleDelta().y() > 0 ? -kZoomStep : kZoomStep);
}

void CubePane::keyPressEvent(QKeyEvent* event) {
    if (mode_ != Mode::LookAround) return QWidget::keyPressEvent(event);
    switch (event->key()) {
        case Qt::Key_Left: return Turn(-kKeyTurn, 0);
        case Qt::Key_Right: return Turn(kKeyTurn, 0);
        case Qt::Key_Up: return Turn(0, kKeyTurn);
        case Qt::Key_Down: return Turn(0, -kKeyTurn);
        case Qt::Key_PageUp: return Turn(0, kPageTurn);
        case Qt::Key_PageDown: return Turn(0, -kPageTurn);
        case Qt::Key_Plus:
        case Qt::Key_Equal: return Zoom(-kZoomStep);
        case Qt::Key_Minus: return Zoom(kZoomStep);
        case Qt::Key_Home: return SetAngles({0, 0, angles_.fieldOfView});
        default: QWidget::keyPressEvent(event);
    }
}

}  // namespace zenivor
