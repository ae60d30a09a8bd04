#pragma once

#include <QString>

#include <cstdint>
#include <functional>

namespace pictrove {

// A text box as the numeric-field helpers see it. The window adapts a
// QLineEdit to it; controllers and tests use TextBoxState.
class NumericTextBox {
public:
    virtual ~NumericTextBox() = default;
    virtual QString text() const = 0;
    // Raises the box's change notification when the text differs.
    virtual void setText(const QString &text) = 0;
    virtual void select(int start, int length) = 0;
};

// An up-down (scroll) control with 16-bit bounds and value. The window
// adapts a vertical QScrollBar to it; controllers and tests use ScrollState.
class NumericScroll {
public:
    virtual ~NumericScroll() = default;
    virtual int minimum() const = 0;
    virtual int maximum() const = 0;
    virtual int value() const = 0;
    // Clamps to the bounds and raises the change notification when the
    // value differs.
    virtual void setValue(int value) = 0;
};

// A text box held as plain data. `changed` runs after every change of the
// text, also one made from inside `changed` itself.
class TextBoxState final : public NumericTextBox {
public:
    explicit TextBoxState(const QString &text = QString())
        : m_text(text), m_selectionStart(int(text.size()))
    {
    }
    QString text() const override { return m_text; }
    void setText(const QString &text) override;
    void select(int start, int length) override;
    int selectionStart() const { return m_selectionStart; }
    int selectionLength() const { return m_selectionLength; }
    QString selectedText() const { return m_text.mid(m_selectionStart, m_selectionLength); }

    // What a keystroke that got through the key filter does: a character
    // replaces the selection, Backspace (8) deletes it or the character
    // before the caret.
    void typeKey(std::int16_t key);

    std::function<void()> changed;

private:
    QString m_text;
    int m_selectionStart = 0;
    int m_selectionLength = 0;
};

// A scroll control held as plain data.
class ScrollState final : public NumericScroll {
public:
    ScrollState(int minimum, int maximum, int value);
    int minimum() const override { return m_minimum; }
    int maximum() const override { return m_maximum; }
    int value() const override { return m_value; }
    void setValue(int value) override;

    std::function<void()> changed;

private:
    int m_minimum;
    int m_maximum;
    int m_value;
};

// The value of the text's leading number, read the way the classic Val()
// does: blanks, tabs and line feeds are skipped, "&H"/"&O" prefixes read hex
// and octal, and a text without a number is 0.
double leadingNumber(const QString &text);

// Keeps the text inside the scroll control's bounds and copies it into the
// control's value. Runs on every change of the text: an empty text becomes
// the lower bound, selected, so that the next digit typed replaces it.
void SyncNumericText(NumericScroll &scroll, NumericTextBox &text);

// Lets digits and Backspace through and turns every other key into 0, which
// discards the keystroke.
void FilterDigitKey(std::int16_t &key);

// Selects the whole text, so that typing replaces the value.
void SelectAllText(NumericTextBox &text);

} // namespace pictrove
