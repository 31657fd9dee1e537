#include "ui/CManualWindow.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace quarvel {

CManualWindow::CManualWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("FFT Quarvel Manual"));
    setWindowFlag(Qt::WindowMinMaxButtonsHint);
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("manualBrowser"));
    // Links to the web go to the desktop; links inside the manual stay here.
    browser_->setOpenExternalLinks(true);
    layout->addWidget(browser_);
    resize(900, 700);
}

bool CManualWindow::ShowPage(const QString& path, const QString& section) {
    const QFileInfo page(path);
    if (!page.isFile() || !page.isReadable()) {
        return false;
    }
    QUrl source = QUrl::fromLocalFile(page.absoluteFilePath());
    if (!section.isEmpty()) {
        source.setFragment(section);
    }
    browser_->setSource(source);
    return !browser_->document()->isEmpty();
}

}  // namespace quarvel
