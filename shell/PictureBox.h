#pragma once
// picMap: a sunken 2-pixel frame around exactly 504 x 504 pixels that show the drawing
// surface as it is, without scaling or conversion.

#include <QFrame>

#include "imaging/RgbImage.h"

namespace zenivor {

class PictureBox final : public QFrame {
public:
    explicit PictureBox(QWidget* parent);
    RgbImage& Surface() { return surface_; }
    Rgb Background() const { return background_; }
    // Fills the surface with the background colour.
    void Clear();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Rgb background_;
    RgbImage surface_;
};

}  // namespace zenivor
