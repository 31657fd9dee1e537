#pragma once

#include <QDialog>
#include <QString>

class QTextBrowser;

namespace quarvel {

/// The manual shown inside the program, for a desktop that has no browser to hand it to: a
/// window of its own (not modal) with the HTML page and its pictures, its links followed in
/// place.
class CManualWindow : public QDialog {
    Q_OBJECT

public:
    explicit CManualWindow(QWidget* parent = nullptr);

    /// Shows the page at path (an HTML file; its pictures are found beside it), scrolled to the
    /// anchor section when it is not empty. False when the file cannot be read.
    bool ShowPage(const QString& path, const QString& section = QString());

    QTextBrowser* Browser() const { return browser_; }

private:
    QTextBrowser* browser_ = nullptr;
};

}  // namespace quarvel
