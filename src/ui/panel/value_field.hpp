#pragma once

#include <optional>

#include <QLineEdit>

namespace tarnwell {

// A parameter's value as text, beside its slider, in the units the
// synthesizer receives (0 to 16383), and the place to type an exact value.
// Enter takes a number in range once; Escape or leaving the field puts the
// shown value back; text that is not a whole number in range is refused: the
// field shows the value again and says why in its tooltip. Text that equals
// the shown value is no edit, however it was put there (typed, or set by an
// assistive technology, which leaves Qt's modified flag clear).
class ValueField : public QLineEdit {
    Q_OBJECT
public:
    ValueField(int minimum, int maximum, QWidget* parent = nullptr);

    // Shows `value`, unless the user is typing into the field.
    void showValue(int value);
    // What a running ball sends for this parameter, for the tooltip; empty
    // when no ball drives it.
    void showLiveValue(std::optional<int> value) { liveValue_ = value; }

Q_SIGNALS:
    // A value the user typed and confirmed with Enter.
    void valueEntered(int value);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Whether the text is something other than the shown value.
    [[nodiscard]] bool isEdited() const;
    void take();
    void restore();
    [[nodiscard]] QString toolTipText() const;

    int minimum_;
    int maximum_;
    int shown_ = 0;
    std::optional<int> liveValue_;
};

}  // namespace tarnwell
