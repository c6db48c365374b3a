#include "window/NumberBox.h"

namespace kelviq {

NumberBox::NumberBox(const QString& text, QWidget* parent) : QLineEdit(text, parent)
{
    setCursorPosition(0);
}

void NumberBox::setNumberText(const QString& text)
{
    setText(text);
    if (!hasFocus())
        setCursorPosition(0);
}

void NumberBox::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    deselect();
    setCursorPosition(0);
}

} // namespace kelviq
