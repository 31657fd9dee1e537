#include "dialogs/CButtonDraw.h"

#include <QPainter>

namespace quarvel {

CButtonDraw::CButtonDraw(QWidget* parent) : QWidget(parent) {
    // The dialog's background shows in the border the handler leaves unpainted.
    setFocusPolicy(Qt::NoFocus);
}

void CButtonDraw::paintEvent(QPaintEvent* /*event*/) {
    if (drawHandler_) {
        QPainter painter(this);
        drawHandler_(painter, rect());
    }
}

}  // namespace quarvel
