#pragma once

#include <QDialog>

class QLabel;

namespace quarvel {

/// The About box: the program icon, its name, "Version 1.0.0" with the word size of the build
/// beside it ("(64 bit)"), and an OK button.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    /// The text right of the version ("(64 bit)" in a 64-bit build).
    QString BitnessText() const;
    /// The version line ("Version 1.0.0").
    QString VersionText() const;

private:
    QLabel* versionLabel_ = nullptr;
    QLabel* bitnessLabel_ = nullptr;
};

}  // namespace quarvel
