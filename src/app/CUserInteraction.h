#pragma once

#include <QString>

class QDialog;
class QUrl;
class QWidget;

namespace quarvel {

/// Everything the program asks of the person in front of it: the file dialogs, the message
/// boxes, the modal dialogs and the shell. The document and the application go through one
/// object of this class, so that tests can answer in place of a person by overriding it.
class CUserInteraction {
public:
    virtual ~CUserInteraction() = default;

    /// The file to open, chosen in a dialog titled "Open"; empty when cancelled.
    virtual QString AskOpenPath(QWidget* parent);
    /// The file to save to, chosen in a dialog titled "Save As" that proposes proposed; empty
    /// when cancelled. No extension is added to a name typed without one.
    virtual QString AskSavePath(QWidget* parent, const QString& proposed);
    /// A folder of the file system, chosen in a folder picker titled title that starts at
    /// start; empty when cancelled.
    virtual QString AskFolder(QWidget* parent, const QString& title, const QString& start);
    /// A message box with the error icon and an OK button.
    virtual void ShowError(QWidget* parent, const QString& title, const QString& text);
    /// A message box with the warning icon and an OK button.
    virtual void ShowWarning(QWidget* parent, const QString& title, const QString& text);
    /// A message box with the information icon and an OK button.
    virtual void ShowInformation(QWidget* parent, const QString& title, const QString& text);
    /// Shows dialog modally; returns its result code.
    virtual int RunModal(QDialog& dialog);
    /// Hands url to the desktop (a browser for a page); false when nothing took it.
    virtual bool OpenUrl(const QUrl& url);
};

}  // namespace quarvel
