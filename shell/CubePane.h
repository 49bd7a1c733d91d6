#pragma once
// The cube pane beside the picture: the six files of a cube as the unfolded cross, each face
// labelled, or the cube seen from its centre, turned by dragging, the arrow keys and PgUp/PgDn,
// zoomed by the wheel or +/- (30 to 120 degrees across), and Home to look North, level.

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "conversion/CubeView.h"

namespace zenivor {

class CubePane final : public QWidget {
public:
    enum class Mode { Cross, LookAround };

    explicit CubePane(QWidget* parent);
    ~CubePane() override;

    // Shows a cube, its faces by Face, under a caption that says what it is.
    void ShowCube(const std::array<RgbImage, 6>& faces, const QString& caption);
    // Shows a panorama as its cube would look from the centre, turned; read straight from the
    // panorama, until ShowCube shows the projected cube.
    void ShowPanorama(std::shared_ptr<const PanoramaLookAround> panorama, const PanoramaView& turn,
                      const QString& caption);
    void SetPanoramaTurn(const PanoramaView& turn);
    void Clear();
    bool HasCube() const { return lookAround_ != nullptr || panorama_ != nullptr; }
    bool ShowsPanorama() const { return panorama_ != nullptr; }
    const QString& Caption() const { return caption_; }

    void SetMode(Mode mode);
    Mode CurrentMode() const { return mode_; }
    const ViewAngles& Angles() const { return angles_; }
    void SetAngles(ViewAngles angles);
    // Called whenever the view turns or zooms.
    void OnAnglesChanged(std::function<void()> changed) { anglesChanged_ = std::move(changed); }

    // What the pane shows, at the cube's own pixels: the cross, and the view rendered at a size.
    const RgbImage& Cross() const { return cross_; }
    RgbImage View(int width, int height) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void PaintCross(QPainter& painter);
    void PaintLookAround(QPainter& painter);
    void Turn(double yaw, double pitch);
    void Zoom(double degrees);

    Mode mode_ = Mode::Cross;
    QString caption_;
    RgbImage cross_;
    std::unique_ptr<CubeLookAround> lookAround_;
    std::shared_ptr<const PanoramaLookAround> panorama_;
    PanoramaView turn_;
    ViewAngles angles_;
    std::function<void()> anglesChanged_;
    QPoint dragFrom_;
    bool dragging_ = false;
    RgbImage frame_;  // the look-around view at the pane's size in device pixels
};

// The faces' names as the cross labels them.
QString FaceLabel(Face face);

}  // namespace zenivor
