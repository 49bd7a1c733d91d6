#pragma once
// picMap: a sunken 2-pixel frame around exactly 504 x 504 pixels that show the drawing
// surface as it is, without scaling or conversion.

#include <QFrame>

#include "imaging/DrawingSurface.h"

namespace zenivor {

class PictureBox final : public QFrame {
public:
    explicit PictureBox(QWidget* parent);
    DrawingSurface& Surface() { return surface_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    DrawingSurface surface_;
};

}  // namespace zenivor
