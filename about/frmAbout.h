#pragma once
// The About dialog: title line, version, description, author credit and a picture, closed by
// its one OK button. It reappears where the user last left it.

#include <QDialog>

class QLabel;
class QPushButton;

namespace zenivor {

class MessageReporter;
class SettingsStore;

class frmAbout final : public QDialog {
public:
    // A placement that fails is reported to reporter.
    frmAbout(SettingsStore& settings, MessageReporter& reporter, QWidget* parent = nullptr);

    QLabel* lblTitle() const { return lblTitle_; }
    QLabel* picIcon() const { return picIcon_; }
    QLabel* lblVersion() const { return lblVersion_; }
    QLabel* lblDescription() const { return lblDescription_; }
    QLabel* lblAuthorInfo() const { return lblAuthorInfo_; }
    QPushButton* cmdOK() const { return cmdOK_; }

    // Every way of closing ends here: the position is saved, then the dialog closes.
    void done(int result) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Load();

    SettingsStore& settings_;
    MessageReporter& reporter_;
    QLabel* lblTitle_ = nullptr;
    QLabel* picIcon_ = nullptr;
    QLabel* lblVersion_ = nullptr;
    QLabel* lblDescription_ = nullptr;
    QLabel* lblAuthorInfo_ = nullptr;
    QPushButton* cmdOK_ = nullptr;
};

// The 160 x 97 picture: a small unfolded sky cube.
QPixmap AboutPicture();

}  // namespace zenivor
