#include "window/NumberBox.h"

namespace kelviq {

NumberBox::NumberBox(const QString& text, QWidget* parent) : QLineEdit(text, parent)
{
    setCursorPosition(0);
    // The box shows the number's start; its tooltip the whole number.
    setToolTip(text);
    connect(this, &QLineEdit::textChanged, this, &QWidget::setToolTip);
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
