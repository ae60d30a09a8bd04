#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>

class QEvent;
class QString;

class QLineEdit;
class QScrollBar;

namespace pictrove {

class TextBoxState;
class ScrollState;

// One digits-only number field of the option column: a line edit and its
// up-down bar shown as views of the controller's text and scroll states,
// with the custom quality field's rules (focus selects all, only digits
// and Backspace get through, pasted text and the bar go through the same
// change handling). `changed` runs after every change the user made, to
// show the controller's state again.
class NumberFieldLink : public QObject {
public:
    NumberFieldLink(QLineEdit *text, QScrollBar *scroll, TextBoxState &textState,
                    ScrollState &scrollState, std::function<void()> changed,
                    QObject *parent = nullptr);

    // Shows the states in the widgets without raising their signals.
    void mirror();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void type(char16_t character);

    QLineEdit *m_text;
    QScrollBar *m_scroll;
    TextBoxState &m_textState;
    ScrollState &m_scrollState;
    std::function<void()> m_changed;
};

// What a key press or an input method's text types into a digits-only
// field: its characters (8 for Backspace), or nothing when the event is the
// line edit's own (caret keys, shortcuts, focus and the rest).
std::optional<QString> keysForNumberField(QEvent *event);

// Types one character into a field's state at the selection the user sees
// in `shown`. keyPress is the field's key filter: it may change the code,
// and 0 refuses the key.
void typeIntoNumberField(const QLineEdit *shown, TextBoxState &state, char16_t character,
                         const std::function<void(std::int16_t &)> &keyPress);

} // namespace pictrove
