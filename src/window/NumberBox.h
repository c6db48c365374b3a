#pragma once

#include <QLineEdit>

namespace kelviq {

// A narrow box for a number: while it is not being edited it shows the number's start
// ("12.75" reads "12.7", never "2.75"); the tooltip shows it whole.
class NumberBox : public QLineEdit
{
    Q_OBJECT

public:
    explicit NumberBox(const QString& text, QWidget* parent = nullptr);

    // Replaces the text, showing its start unless the box is being edited.
    void setNumberText(const QString& text);

protected:
    void focusOutEvent(QFocusEvent* event) override;
};

} // namespace kelviq
