#include "platform/NumericField.h"

#include "platform/Rounding.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace pictrove {
namespace {
constexpr std::int16_t Backspace = 8;

bool isDigitKey(int key) { return key >= '0' && key <= '9'; }

// Reads digits of the given base from s starting at i, as a double.
double readRadix(const std::string &s, std::size_t i, int base)
{
    double value = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0 || digit >= base)
            break;
        value = value * base + digit;
    }
    return value;
}
} // namespace

void TextBoxState::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    m_selectionStart = int(m_text.size());
    m_selectionLength = 0;
    if (changed)
        changed();
}

void TextBoxState::select(int start, int length)
{
    m_selectionStart = std::clamp(start, 0, int(m_text.size()));
    m_selectionLength = std::clamp(length, 0, int(m_text.size()) - m_selectionStart);
}

void TextBoxState::typeKey(std::int16_t key)
{
    if (key == 0)
        return;
    int start = m_selectionStart;
    int length = m_selectionLength;
    QString inserted;
    if (key == Backspace) {
        if (length == 0 && start > 0) {
            --start;
            length = 1;
        }
    } else {
        inserted = QChar(char16_t(key));
    }
    const QString edited = m_text.left(start) + inserted + m_text.mid(start + length);
    const int caret = start + int(inserted.size());
    if (edited == m_text)
        return;
    setText(edited);
    // The caret stays after the edit unless a nested change moved the text.
    if (m_text == edited)
        select(caret, 0);
}

ScrollState::ScrollState(int minimum, int maximum, int value)
    : m_minimum(minimum), m_maximum(maximum), m_value(std::clamp(value, minimum, maximum))
{
}

void ScrollState::setValue(int value)
{
    value = std::clamp(value, m_minimum, m_maximum);
    if (value == m_value)
        return;
    m_value = value;
    if (changed)
        changed();
}

double leadingNumber(const QString &text)
{
    std::string s;
    for (const QChar c : text) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n'))
            s += c.unicode() < 128 ? char(c.unicode()) : '\x7f';
    }
    if (s.size() >= 2 && s[0] == '&') {
        if (s[1] == 'H' || s[1] == 'h')
            return readRadix(s, 2, 16);
        if (s[1] == 'O' || s[1] == 'o')
            return readRadix(s, 2, 8);
        return 0;
    }
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    const std::size_t mantissa = i;
    while (i < s.size() && isDigitKey(s[i]))
        ++i;
    if (i < s.size() && s[i] == '.')
        for (++i; i < s.size() && isDigitKey(s[i]);)
            ++i;
    if (i == mantissa || (i == mantissa + 1 && s[mantissa] == '.'))
        return 0;
    std::string number = s.substr(0, i);
    if (i < s.size() && std::string("eEdD").find(s[i]) != std::string::npos) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        if (j < s.size() && isDigitKey(s[j])) {
            while (j < s.size() && isDigitKey(s[j]))
                ++j;
            number += 'e' + s.substr(i + 1, j - i - 1);
        }
    }
    return std::strtod(number.c_str(), nullptr);
}

void SyncNumericText(NumericScroll &scroll, NumericTextBox &text)
{
    if (text.text().isEmpty()) {
        text.setText(QString::number(scroll.minimum()));
        SelectAllText(text);
    }
    if (leadingNumber(text.text()) < scroll.minimum())
        text.setText(QString::number(scroll.minimum()));
    if (leadingNumber(text.text()) > scroll.maximum())
        text.setText(QString::number(scroll.maximum()));
    // A 16-bit value, as the control holds; the bounds keep it in range.
    const double value = std::clamp(leadingNumber(text.text()),
                                    double(std::numeric_limits<std::int16_t>::min()),
                                    double(std::numeric_limits<std::int16_t>::max()));
    scroll.setValue(int(roundHalfEven(value)));
}

void FilterDigitKey(std::int16_t &key)
{
    if (!isDigitKey(key) && key != Backspace)
        key = 0;
}

void SelectAllText(NumericTextBox &text) { text.select(0, int(text.text().size())); }

} // namespace pictrove
