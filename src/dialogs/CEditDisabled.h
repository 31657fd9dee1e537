#pragma once

#include <optional>

#include <QLineEdit>

namespace quarvel {

/// A value field that looks like a display: the button-face background taken when it is made and
/// the arrow cursor, while it stays enabled so its text keeps the normal colour. The dialog sets
/// its text; by default it takes no focus and no typing.
///
/// AcceptTypedValues lets the person type a whole number into it as well (with the text cursor):
/// Enter, or leaving the field, hands a number within the range over through ValueTyped; any
/// other text is refused through ValueRefused and the field shows its value again.
class CEditDisabled : public QLineEdit {
    Q_OBJECT

public:
    explicit CEditDisabled(QWidget* parent = nullptr);

    /// Accepts typed whole numbers from minimum to maximum.
    void AcceptTypedValues(int minimum, int maximum);
    /// Shows value; text the person is typing stays until it is handed over or refused.
    void ShowValue(int value);
    /// The integer the field shows, in range or not; nothing for other text.
    std::optional<int> Value() const;

Q_SIGNALS:
    void ValueTyped(int value);
    /// The typed text is not a whole number from minimum to maximum.
    void ValueRefused(int minimum, int maximum);

protected:
    /// Enter hands the typed text over and stays in the dialog, instead of closing it.
    void keyPressEvent(QKeyEvent* event) override;

private:
    /// Hands over or refuses the text typed since the field last showed a value.
    void TakeTypedText();

    int minimum_ = 0;
    int maximum_ = 0;
    /// The text of the last value shown, put back when typed text is refused.
    QString shownText_;
};

}  // namespace quarvel
