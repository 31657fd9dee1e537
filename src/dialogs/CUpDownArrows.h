#pragma once

#include <QWidget>

namespace quarvel {

/// A pair of small arrow buttons stacked on each other, placed at the right edge of a value
/// field. Each press proposes a step: +1 for the upper arrow, -1 for the lower one.
class CUpDownArrows : public QWidget {
    Q_OBJECT

public:
    explicit CUpDownArrows(QWidget* parent = nullptr);

    /// Proposes the step as a press on an arrow would.
    void Press(int step) { Q_EMIT Stepped(step); }

Q_SIGNALS:
    void Stepped(int step);
};

}  // namespace quarvel
