#pragma once

#include <QLineEdit>

namespace quarvel {

/// A field the dialog fills itself and that looks like a display: the button-face background
/// taken when it is made, the arrow cursor, no caret, no focus and no typing, while it stays
/// enabled so its text keeps the normal colour.
class CEditDisabled : public QLineEdit {
    Q_OBJECT

public:
    explicit CEditDisabled(QWidget* parent = nullptr);
};

}  // namespace quarvel
