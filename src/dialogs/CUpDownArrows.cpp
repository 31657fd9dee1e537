#include "dialogs/CUpDownArrows.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace quarvel {

CUpDownArrows::CUpDownArrows(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    for (const int step : {1, -1}) {
        auto* arrow = new QToolButton(this);
        arrow->setArrowType(step > 0 ? Qt::UpArrow : Qt::DownArrow);
        arrow->setAutoRepeat(true);
        arrow->setFocusPolicy(Qt::NoFocus);
        arrow->setFixedSize(16, 11);
        arrow->setObjectName(step > 0 ? QStringLiteral("upArrow") : QStringLiteral("downArrow"));
        connect(arrow, &QToolButton::clicked, this, [this, step] { Press(step); });
        column->addWidget(arrow);
    }
}

}  // namespace quarvel
