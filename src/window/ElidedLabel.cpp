#include "window/ElidedLabel.h"

#include <QPainter>
#include <QStyle>

namespace kelviq {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent)
{
    setMinimumWidth(1);
    setMinimumHeight(fontMetrics().height()); // also while empty
}

void ElidedLabel::setLine(const QString& text)
{
    setText(text);
    setToolTip(text);
}

QString ElidedLabel::shown(int width) const
{
    const QFontMetrics metrics = fontMetrics();
    const QString whole = text();
    if (metrics.horizontalAdvance(whole) <= width)
        return whole;
    const QString ellipsis(QChar(0x2026));
    QString cut = metrics.elidedText(whole, Qt::ElideRight, width);
    cut.chop(1); // the ellipsis Qt put in
    // Back to the end of the last whole word, when there is one.
    const qsizetype blank = cut.lastIndexOf(QLatin1Char(' '));
    if (blank > 0 && cut.size() < whole.size() && !whole.at(cut.size()).isSpace())
        cut.truncate(blank);
    while (cut.endsWith(QLatin1Char(' ')) || cut.endsWith(QLatin1Char(',')) ||
           cut.endsWith(QLatin1Char(';')) || cut.endsWith(QLatin1Char(':')))
        cut.chop(1);
    return cut + ellipsis;
}

void ElidedLabel::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QRect room = contentsRect();
    style()->drawItemText(&painter, room, int(alignment()), palette(), isEnabled(),
                          shown(room.width()), foregroundRole());
}

} // namespace kelviq
