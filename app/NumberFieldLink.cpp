#include "app/NumberFieldLink.h"

#include "platform/NumericField.h"

#include <QEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalBlocker>

namespace pictrove {

NumberFieldLink::NumberFieldLink(QLineEdit *text, QScrollBar *scroll, TextBoxState &textState,
                                 ScrollState &scrollState, std::function<void()> changed,
                                 QObject *parent)
    : QObject(parent), m_text(text), m_scroll(scroll), m_textState(textState),
      m_scrollState(scrollState), m_changed(std::move(changed))
{
    m_text->installEventFilter(this);
    // What reaches the text without a keystroke (a paste, a drop) goes
    // through the same change handling.
    connect(m_text, &QLineEdit::textEdited, this, [this](const QString &typed) {
        m_textState.setText(typed);
        m_changed();
    });
    connect(m_scroll, &QScrollBar::valueChanged, this, [this](int value) {
        if (value == m_scrollState.value())
            return; // the mirror's own change
        m_scrollState.setValue(value);
        m_changed();
    });
}

void NumberFieldLink::mirror()
{
    {
        const QSignalBlocker quiet(m_text);
        if (m_text->text() != m_textState.text())
            m_text->setText(m_textState.text());
        if (m_textState.selectionLength() > 0)
            m_text->setSelection(m_textState.selectionStart(), m_textState.selectionLength());
        else
            m_text->setCursorPosition(m_textState.selectionStart());
    }
    const QSignalBlocker quiet(m_scroll);
    m_scroll->setValue(m_scrollState.value());
}

void NumberFieldLink::type(char16_t character)
{
    typeIntoNumberField(m_text, m_textState, character, [](std::int16_t &code) { FilterDigitKey(code); });
    m_changed();
}

bool NumberFieldLink::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_text)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn) {
        SelectAllText(m_textState);
        m_changed();
        return false;
    }
    const std::optional<QString> typed = keysForNumberField(event);
    if (!typed)
        return false;
    for (const QChar c : *typed)
        type(c.unicode());
    return true;
}

std::optional<QString> keysForNumberField(QEvent *event)
{
    // Text typed through an input method (dead keys, compose) is filtered
    // like keystrokes: only digits may reach the field.
    if (event->type() == QEvent::InputMethod) {
        const QString committed = static_cast<QInputMethodEvent *>(event)->commitString();
        return committed.isEmpty() ? std::nullopt : std::optional<QString>(committed);
    }
    if (event->type() != QEvent::KeyPress)
        return std::nullopt;
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Backspace)
        return QString(QChar(8));
    // The filter looks at the character, not the key code: any printable
    // character, ASCII or not, goes through it.
    const QString typed = key->text();
    if (typed.isEmpty() || typed.at(0).unicode() < 32 || typed.at(0).unicode() == 127
        || (key->modifiers() & Qt::ControlModifier))
        return std::nullopt; // caret keys, shortcuts: the line edit's own
    return typed;
}

void typeIntoNumberField(const QLineEdit *shown, TextBoxState &state, char16_t character,
                         const std::function<void(std::int16_t &)> &keyPress)
{
    // Outside ASCII nothing is a digit; a value the 16-bit key code cannot
    // hold unchanged is handed over as one that is refused.
    std::int16_t code = character < 128 ? std::int16_t(character) : std::int16_t(-1);
    // The keystroke acts on the selection the user sees.
    const int start = shown->hasSelectedText() ? shown->selectionStart() : shown->cursorPosition();
    state.select(start, int(shown->selectedText().size()));
    keyPress(code);
    if (code != 0)
        state.typeKey(code);
}

} // namespace pictrove
