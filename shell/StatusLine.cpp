#include "shell/StatusLine.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace zenivor {

QString StatusLine::Shown() const {
    QString whole = text();
    const QFontMetrics metrics = fontMetrics();
    const int width = contentsRect().width();
    if (metrics.horizontalAdvance(whole) <= width) return whole;
    const QString ellipsis(QChar(0x2026));
    // Back to the last blank (or path separator) before what fits, so that no word is cut.
    QString shown = metrics.elidedText(whole, Qt::ElideRight, width);
    shown.chop(1);
    const int cut = std::max(shown.lastIndexOf(QLatin1Char(' ')), shown.lastIndexOf(QLatin1Char('/')));
    if (cut > 0) shown.truncate(cut + 1);
    return shown.trimmed() + ellipsis;
}

bool StatusLine::Elided() const { return Shown() != text(); }

void StatusLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawItemText(&painter, contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, option.palette, isEnabled(),
                          Shown(), foregroundRole());
}

void StatusLine::SetLine(const QString& line) {
    setText(line);
    setToolTip(Elided() ? line : QString());
}

void StatusLine::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    setToolTip(Elided() ? text() : QString());
}

}  // namespace zenivor
