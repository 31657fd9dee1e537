#pragma once

#include <QWidget>

#include "app/CommandIds.h"

namespace quarvel {

/// A pane of the tabbed main view: the image pane or the power spectrum pane. The document
/// repaints its panes through update() and tells them about a newly opened or reverted image
/// through OnNewImage; the main window routes the commands of the active pane to it.
class CPaneBase : public QWidget, public CCommandTarget {
    Q_OBJECT

public:
    explicit CPaneBase(QWidget* parent = nullptr);
    ~CPaneBase() override;

    /// Resets the pane for the document's new image: ends any drag, sizes the selection to the
    /// image and chooses the zoom at which the image is shown.
    virtual void OnNewImage() = 0;
};

}  // namespace quarvel
