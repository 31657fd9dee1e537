#include "app/CUserInteraction.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace quarvel {

namespace {

const QString kAllFilesFilter = QStringLiteral("All Files (*)");

}  // namespace

QString CUserInteraction::AskOpenPath(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Open"), QString(), kAllFilesFilter);
}

QString CUserInteraction::AskSavePath(QWidget* parent, const QString& proposed) {
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Save As"), proposed,
                                        kAllFilesFilter);
}

QString CUserInteraction::AskFolder(QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
}

void CUserInteraction::ShowError(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::critical(parent, title, text, QMessageBox::Ok);
}

void CUserInteraction::ShowWarning(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

void CUserInteraction::ShowInformation(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

int CUserInteraction::RunModal(QDialog& dialog) {
    return dialog.exec();
}

bool CUserInteraction::OpenUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

}  // namespace quarvel
