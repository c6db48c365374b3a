#pragma once

#include <QLabel>

namespace kelviq {

// A one-line label that never widens its window: a text longer than the label ends in "…"
// at the last whole word that fits, and the tooltip shows the text whole.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    // Sets the text and its tooltip.
    void setLine(const QString& text);
    // The text as drawn in width pixels.
    QString shown(int width) const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace kelviq
