#pragma once

#include <memory>

#include <QPointer>
#include <QString>

class QDialog;
class QFileDialog;
class QUrl;
class QWidget;

namespace quarvel {

class CManualWindow;

/// The answer to "Save changes?".
enum class SaveChoice { Save, Discard, Cancel };

/// Everything the program asks of the person in front of it: the file dialogs, the message
/// boxes, the modal dialogs and the shell. The document and the application go through one
/// object of this class, so that tests can answer in place of a person by overriding it.
class CUserInteraction {
public:
    virtual ~CUserInteraction() = default;

    /// The file to open, chosen in a dialog titled "Open"; empty when cancelled.
    virtual QString AskOpenPath(QWidget* parent);
    /// The file to save to, chosen in the dialog of CreateSaveAsDialog; empty when cancelled.
    virtual QString AskSavePath(QWidget* parent, const QString& proposed);
    /// A recipe file to write (save) or to read, chosen in a dialog that lists "*.json" files,
    /// starting at proposed; a name typed without an extension gets ".json" when saving. Empty
    /// when cancelled.
    virtual QString AskRecipePath(QWidget* parent, bool save, const QString& proposed);
    /// A folder of the file system, chosen in a folder picker titled title that starts at
    /// start; empty when cancelled.
    virtual QString AskFolder(QWidget* parent, const QString& title, const QString& start);
    /// A message box with the error icon and an OK button.
    virtual void ShowError(QWidget* parent, const QString& title, const QString& text);
    /// A message box with the warning icon and an OK button.
    virtual void ShowWarning(QWidget* parent, const QString& title, const QString& text);
    /// A message box with the information icon and an OK button.
    virtual void ShowInformation(QWidget* parent, const QString& title, const QString& text);
    /// A question with the buttons Save (the default), Discard and Cancel (Escape), asked before
    /// unsaved work is replaced or closed; detail says what would be lost.
    virtual SaveChoice AskSaveChanges(QWidget* parent, const QString& question,
                                      const QString& detail);
    /// Shows dialog modally; returns its result code.
    virtual int RunModal(QDialog& dialog);
    /// Hands url to the desktop (a browser for a page); false when nothing took it.
    virtual bool OpenUrl(const QUrl& url);
    /// Shows the manual's page at path, at the section with the anchor section (the top when
    /// empty): hands it to the desktop through OpenUrl, else shows it in the program's own manual
    /// window, a child of parent's window. False when neither can show it (no such page).
    bool ShowManual(QWidget* parent, const QString& path, const QString& section);
    /// The program's own manual window; null until ShowManual needed it.
    CManualWindow* ManualWindow() const;

private:
    QPointer<CManualWindow> manualWindow_;
};

/// The "Save As" file dialog, proposing proposed. Its file types are the image formats the
/// program writes, JPEG first, then "All Files (*)"; the type of the proposed name's extension is
/// chosen at the start. A name typed without an extension gets the chosen type's (none for "All
/// Files", which saves JPEG), before the dialog asks whether to replace an existing file.
std::unique_ptr<QFileDialog> CreateSaveAsDialog(QWidget* parent, const QString& proposed);

}  // namespace quarvel
