#include "dialogs/CEditDisabled.h"

#include <QPalette>

namespace quarvel {

CEditDisabled::CEditDisabled(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    QPalette look = palette();
    look.setColor(QPalette::Base, look.color(QPalette::Button));
    setPalette(look);
}

}  // namespace quarvel
