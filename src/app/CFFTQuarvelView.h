#pragma once

#include <QTabWidget>

class QMenu;

namespace quarvel {

class CPaneBase;

/// The main window's central widget: tab 0 "Image " holds the image pane, tab 1
/// "Power Spectrum " the power spectrum pane, with the tabs along the bottom edge. It records
/// the selected tab for the document's commands, tells the main window which pane the person
/// is working in, and opens the "Edit" context menu on right-clicks. The main window registers
/// it with the document.
class CFFTQuarvelView : public QTabWidget {
    Q_OBJECT

public:
    /// Takes both panes into its tabs.
    CFFTQuarvelView(CPaneBase* imagePane, CPaneBase* spectrumPane, QWidget* parent = nullptr);
    ~CFFTQuarvelView() override;

    /// Selects tab index (0 image, 1 power spectrum).
    void SetActiveTab(int index);
    /// The menu shown at a right-click; not owned.
    void SetContextMenu(QMenu* menu) { contextMenu_ = menu; }

    CPaneBase* ImagePane() const { return imagePane_; }
    CPaneBase* SpectrumPane() const { return spectrumPane_; }
    /// The pane of the selected tab.
    CPaneBase* CurrentPane() const;

    /// The two tab icons, 24 x 24: a small landscape and a power spectrum with a bright centre.
    static QPixmap ImageTabIcon();
    static QPixmap SpectrumTabIcon();

    /// The index of the tab last recorded as selected.
    int activeTab = 0;

Q_SIGNALS:
    /// The person switched tabs or clicked into the view: pane now receives the pane commands.
    void PaneActivated(CPaneBase* pane);
    /// A mouse button or a key was released in the view: what the commands may do could have
    /// changed (a selection drawn, for instance).
    void InteractionEnded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void OnCurrentChanged(int index);
    void WatchWidget(QWidget* widget);

    CPaneBase* imagePane_;
    CPaneBase* spectrumPane_;
    QMenu* contextMenu_ = nullptr;
};

}  // namespace quarvel
