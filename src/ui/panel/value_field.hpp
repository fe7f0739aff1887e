#pragma once

#include <QLineEdit>

namespace tarnwell {

// A parameter's value as text, beside its slider, in the units the
// synthesizer receives (0 to 16383), and the place to type an exact value.
// Enter takes a number in range once; Escape or leaving the field puts the
// shown value back; text that is not a whole number in range is refused: the
// field shows the value again and says why in its tooltip.
class ValueField : public QLineEdit {
    Q_OBJECT
public:
    ValueField(int minimum, int maximum, QWidget* parent = nullptr);

    // Shows `value`, unless the user is typing into the field.
    void showValue(int value);

Q_SIGNALS:
    // A value the user typed and confirmed with Enter.
    void valueEntered(int value);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void take();
    void restore();

    int minimum_;
    int maximum_;
    int shown_ = 0;
};

}  // namespace tarnwell
