#pragma once
// lblStatus: one line of text, shown whole where it fits. Where the window is too narrow for it,
// it is cut at a word's end with an ellipsis, and the whole text is its tooltip.

#include <QLabel>

namespace zenivor {

class StatusLine final : public QLabel {
public:
    explicit StatusLine(QWidget* parent) : QLabel(parent) {}
    // Replaces the text, and the tooltip that shows it whole where it does not fit.
    void SetLine(const QString& line);
    // Whether the text is shown cut short now.
    bool Elided() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // What fits: the whole text, or its first words and an ellipsis.
    QString Shown() const;
};

}  // namespace zenivor
