#include "app/CWaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace quarvel {

CWaitCursor::CWaitCursor() {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

CWaitCursor::~CWaitCursor() {
    Restore();
}

void CWaitCursor::Restore() {
    if (active_) {
        QApplication::restoreOverrideCursor();
        active_ = false;
    }
}

}  // namespace quarvel
