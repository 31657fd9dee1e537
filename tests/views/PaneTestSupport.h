#pragma once

#include <memory>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include "app/CFFTQuarvelDoc.h"
#include "app/CommandTable.h"
#include "ui/CPaneWindow.h"
#include "ui/CUserInteraction.h"
#include "views/CanvasPanel.h"

namespace quarvel::test {

/// Answers the document's questions without a person: errors are counted, not shown.
class SilentInteraction : public CUserInteraction {
public:
    void ShowError(QWidget*, const QString&, const QString&) override { ++errors; }
    void ShowWarning(QWidget*, const QString&, const QString&) override { ++errors; }
    int errors = 0;
};

inline QString TestImage(const char* name) {
    return QStringLiteral(QUARVEL_TEST_DATA "/images/") + QString::fromUtf8(name);
}

/// The main window as the panes see it, without a window: the tool is the test's choice, the
/// commands are the program's.
class PaneWindow : public CPaneWindow {
public:
    ToolId CurrentTool() const override { return tool; }
    CursorPoint CursorPosition() const override { return cursor; }
    void SetCursorPoint(CursorPoint point) override { cursor = point; }
    void UpdateCommandUI() override {}
    bool QueryPaneCommand(const CCommandTarget& pane, int id,
                          CommandStatus& status) const override {
        return QueryTargetCommand(pane, id, status);
    }
    bool RunPaneCommand(CCommandTarget& pane, int id) const override {
        return RunTargetCommand(pane, id);
    }

    ToolId tool = ToolPanHand;
    CursorPoint cursor;
};

/// A document and a window whose panes are created by the tests after them.
class PaneTest : public testing::Test {
protected:
    void SetUp() override {
        doc = std::make_unique<CFFTQuarvelDoc>();
        auto interaction = std::make_unique<SilentInteraction>();
        silent = interaction.get();
        doc->SetInteraction(std::move(interaction));
    }

    void Open(const char* name) {
        ASSERT_TRUE(doc->OnOpenDocument(TestImage(name))) << name;
        ASSERT_EQ(silent->errors, 0);
    }

    std::unique_ptr<CFFTQuarvelDoc> doc;
    SilentInteraction* silent = nullptr;
    PaneWindow window;
};

/// What the widget shows, as 32-bit pixels.
inline QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QRgb PixelAt(const QImage& image, CanvasPoint p) {
    return image.pixel(p.x, p.y) | 0xFF000000u;
}

/// Sends a mouse event of type with the left button to widget at p.
inline void SendMouse(QWidget& widget, QEvent::Type type, CanvasPoint p,
                      Qt::MouseButtons buttons = Qt::NoButton) {
    const QPointF local(p.x, p.y);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, widget.mapToGlobal(local), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

inline CanvasPoint Middle(const CanvasRect& r) {
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

inline void Click(QWidget& widget, CanvasPoint p) {
    SendMouse(widget, QEvent::MouseButtonPress, p, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseButtonRelease, p);
}

}  // namespace quarvel::test
