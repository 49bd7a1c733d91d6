#include "about/frmAbout.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "about/QtPlacementWindow.h"
#include "legacy/FormPosition.h"
#include "util/SettingsStore.h"
#include "util/Version.h"

namespace zenivor {
namespace {

// The dialog is laid out in twips; at 15 twips per pixel.
QRect Twips(int left, int top, int width, int height) { return {left / 15, top / 15, width / 15, height / 15}; }

QLabel* AddLabel(QWidget* parent, const QRect& geometry) {
    auto* label = new QLabel(parent);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

}  // namespace

frmAbout::frmAbout(SettingsStore& settings, MessageReporter& reporter, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      settings_(settings),
      reporter_(reporter) {
    setFixedSize(Twips(0, 0, 6090, 3330).size());
    lblTitle_ = AddLabel(this, Twips(180, 120, 5685, 480));
    lblTitle_->setText(QStringLiteral("Zenivor for Creating Velmora Sky Cubes"));
    QFont titleFont(QStringLiteral("MS Sans Serif"));
    titleFont.setPointSizeF(8.25);
    titleFont.setBold(true);
    lblTitle_->setFont(titleFont);
    picIcon_ = AddLabel(this, Twips(120, 660, 2460, 1515));
    picIcon_->setPixmap(AboutPicture());
    lblVersion_ = AddLabel(this, Twips(2700, 780, 2265, 225));
    lblDescription_ = AddLabel(this, Twips(2640, 1140, 3225, 1230));
    lblDescription_->setWordWrap(true);
    lblAuthorInfo_ = AddLabel(this, Twips(300, 2820, 3870, 345));
    cmdOK_ = new QPushButton(tr("OK"), this);
    cmdOK_->setGeometry(Twips(4320, 2820, 1260, 345));
    cmdOK_->setDefault(true);
    connect(cmdOK_, &QPushButton::clicked, this, &QDialog::accept);
    Load();
    cmdOK_->setFocus();
}

void frmAbout::Load() {
    setWindowTitle(QStringLiteral("About ") + QString::fromUtf8(kProgramTitle));
    // After the caption: it names the placement keys.
    QtPlacementWindow placement(*this);
    RestoreFormPosition(placement, settings_, kAppName, reporter_);
    lblVersion_->setText(QStringLiteral("Version %1.%2").arg(kVersionMajor).arg(kVersionMinor));
    lblDescription_->setText(QStringLiteral(
        "This program will take a 504x504, 1008x504, or a 2016x504 TGA file and make all 6 files required for "
        "making a skycube."));
    lblAuthorInfo_->setText(QStringLiteral("Written by the Zenivor developers"));
}

void frmAbout::done(int result) {
    QtPlacementWindow placement(*this);
    SaveFormPosition(placement, settings_, kAppName, reporter_);
    QDialog::done(result);
}

void frmAbout::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // The etched separator: a grey line over a white one two pixels wide.
    QPainter painter(this);
    const int y = 2640 / 15;
    painter.fillRect(QRect(QPoint(225 / 15, y), QPoint(5774 / 15, y + 1)), Qt::white);
    painter.fillRect(QRect(QPoint(210 / 15, y), QPoint(5774 / 15, y)), QColor(128, 128, 128));
}

QPixmap AboutPicture() {
    QPixmap pixmap(160, 97);
    pixmap.fill(QColor(240, 240, 240));
    QPainter painter(&pixmap);
    constexpr int kFace = 30;
    const QColor sky(40, 90, 180);
    for (int side = 0; side < 4; ++side) {
        QLinearGradient gradient(0, 34, 0, 64);
        gradient.setColorAt(0.0, QColor(60, 110, 190));
        gradient.setColorAt(0.6, QColor(170, 200, 230));
        gradient.setColorAt(0.61, QColor(80, 120, 140));
        gradient.setColorAt(1.0, QColor(20, 50, 60));
        painter.fillRect(20 + side * kFace, 34, kFace, kFace, gradient);
    }
    painter.fillRect(20 + kFace, 4, kFace, kFace, sky);
    painter.setPen(QColor(120, 160, 220));
    painter.drawLine(20 + kFace, 4, 20 + 2 * kFace - 1, 4 + kFace - 1);
    painter.drawLine(20 + 2 * kFace - 1, 4, 20 + kFace, 4 + kFace - 1);
    painter.fillRect(20 + kFace, 64, kFace, kFace, QColor(110, 80, 45));
    painter.setBrush(QColor(255, 240, 190));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPoint(20 + kFace + 18, 42), 4, 4);
    painter.setPen(QColor(90, 90, 90));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(20, 34, 4 * kFace - 1, kFace - 1);
    painter.drawRect(20 + kFace, 4, kFace - 1, 3 * kFace - 1);
    return pixmap;
}

}  // namespace zenivor
