#include "dialogs/CEditDisabled.h"

#include <QKeyEvent>
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

void CEditDisabled::AcceptTypedValues(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    setReadOnly(false);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::IBeamCursor);
    connect(this, &QLineEdit::editingFinished, this, &CEditDisabled::TakeTypedText,
            Qt::UniqueConnection);
}

void CEditDisabled::ShowValue(int value) {
    shownText_ = QString::number(value);
    if (hasFocus() && isModified()) {
        return;
    }
    setText(shownText_);
}

std::optional<int> CEditDisabled::Value() const {
    bool isInteger = false;
    const int value = text().trimmed().toInt(&isInteger, 10);
    return isInteger ? std::optional<int>(value) : std::nullopt;
}

void CEditDisabled::keyPressEvent(QKeyEvent* event) {
    if (!isReadOnly() && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        TakeTypedText();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CEditDisabled::TakeTypedText() {
    if (isReadOnly() || !isModified()) {
        return;
    }
    setModified(false);
    const std::optional<int> value = Value();
    if (value && *value >= minimum_ && *value <= maximum_) {
        shownText_ = QString::number(*value);
        setText(shownText_);
        Q_EMIT ValueTyped(*value);
        return;
    }
    setText(shownText_);
    Q_EMIT ValueRefused(minimum_, maximum_);
}

}  // namespace quarvel
