#include "dialogs/CButtonDraw.h"

#include <QPainter>

namespace quarvel {

CButtonDraw::CButtonDraw(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    // The handler paints the whole picture; nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CButtonDraw::paintEvent(QPaintEvent* /*event*/) {
    if (drawHandler_) {
        QPainter painter(this);
        drawHandler_(painter, rect());
    }
}

}  // namespace quarvel
