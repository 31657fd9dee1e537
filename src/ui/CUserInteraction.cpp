#include "ui/CUserInteraction.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "imageio/ImageFile.h"
#include "ui/CManualWindow.h"

namespace quarvel {

namespace {

const QString kAllFilesFilter = QStringLiteral("All Files (*)");

/// A file type of the Save As dialog: its filter text, the MIME type and the extension added to
/// a name typed without one.
struct SaveType {
    const char* filter;
    const char* mime;
    const char* suffix;
};

constexpr SaveType kSaveTypes[] = {
    {"JPEG Image (*.jpg *.jpeg)", "image/jpeg", "jpg"}, {"PNG Image (*.png)", "image/png", "png"},
    {"TIFF Image (*.tif *.tiff)", "image/tiff", "tif"}, {"BMP Image (*.bmp)", "image/bmp", "bmp"},
    {"WebP Image (*.webp)", "image/webp", "webp"},
};

/// The extension for a name typed without one under filter.
QString SuffixOfFilter(const QString& filter) {
    for (const SaveType& type : kSaveTypes) {
        if (filter == QLatin1String(type.filter)) {
            return QLatin1String(type.suffix);
        }
    }
    return {};
}

}  // namespace

std::unique_ptr<QFileDialog> CreateSaveAsDialog(QWidget* parent, const QString& proposed) {
    auto dialog = std::make_unique<QFileDialog>(parent, QStringLiteral("Save As"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    QString chosen = QLatin1String(kSaveTypes[0].filter);
    const bool named = HasImageExtension(proposed.toStdString());
    const std::string proposedMime = MimeForFileName(proposed.toStdString());
    for (const SaveType& type : kSaveTypes) {
        if (FindEncoderByMime(type.mime, nullptr) < 0) {
            continue;
        }
        filters.append(QLatin1String(type.filter));
        if (named && proposedMime == type.mime) {
            chosen = QLatin1String(type.filter);
        }
    }
    filters.append(kAllFilesFilter);
    dialog->setNameFilters(filters);
    dialog->selectNameFilter(chosen);
    dialog->setDefaultSuffix(SuffixOfFilter(chosen));
    QFileDialog* shown = dialog.get();
    QObject::connect(shown, &QFileDialog::filterSelected, shown, [shown](const QString& filter) {
        shown->setDefaultSuffix(SuffixOfFilter(filter));
    });
    if (!proposed.isEmpty()) {
        const QFileInfo file(proposed);
        if (file.isAbsolute()) {
            dialog->setDirectory(file.absolutePath());
        }
        dialog->selectFile(file.fileName());
    }
    return dialog;
}

QString CUserInteraction::AskOpenPath(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Open"), QString(), kAllFilesFilter);
}

QString CUserInteraction::AskSavePath(QWidget* parent, const QString& proposed) {
    const std::unique_ptr<QFileDialog> dialog = CreateSaveAsDialog(parent, proposed);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return {};
    }
    return dialog->selectedFiles().constFirst();
}

QString CUserInteraction::AskRecipePath(QWidget* parent, bool save, const QString& proposed) {
    QFileDialog dialog(parent,
                       save ? QStringLiteral("Save Edits as Recipe") : QStringLiteral("Recipe"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Recipe (*.json)"), kAllFilesFilter});
    if (save) {
        dialog.setDefaultSuffix(QStringLiteral("json"));
    }
    if (!proposed.isEmpty()) {
        const QFileInfo file(proposed);
        if (file.isAbsolute()) {
            dialog.setDirectory(file.absolutePath());
        }
        dialog.selectFile(file.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
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

SaveChoice CUserInteraction::AskSaveChanges(QWidget* parent, const QString& question,
                                            const QString& detail) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("FFT Quarvel"), question,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setInformativeText(detail);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
        case QMessageBox::Save:
            return SaveChoice::Save;
        case QMessageBox::Discard:
            return SaveChoice::Discard;
        default:
            return SaveChoice::Cancel;
    }
}

int CUserInteraction::RunModal(QDialog& dialog) {
    return dialog.exec();
}

bool CUserInteraction::OpenUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

CManualWindow* CUserInteraction::ManualWindow() const {
    return manualWindow_;
}

bool CUserInteraction::ShowManual(QWidget* parent, const QString& path, const QString& section) {
    if (!QFileInfo(path).isFile()) {
        return false;
    }
    QUrl page = QUrl::fromLocalFile(path);
    if (!section.isEmpty()) {
        page.setFragment(section);
    }
    if (OpenUrl(page)) {
        return true;
    }
    // No browser took the page: the program shows it itself.
    if (manualWindow_ == nullptr) {
        manualWindow_ = new CManualWindow(parent != nullptr ? parent->window() : nullptr);
        if (parent == nullptr) {
            manualWindow_->setAttribute(Qt::WA_DeleteOnClose);
        }
    }
    if (!manualWindow_->ShowPage(path, section)) {
        return false;
    }
    manualWindow_->show();
    manualWindow_->raise();
    manualWindow_->activateWindow();
    return true;
}

}  // namespace quarvel
