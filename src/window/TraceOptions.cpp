#include "window/TraceOptions.h"

#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>

namespace kelviq {

namespace {

// Blank between a caption and its box, and between the two pairs of a row.
constexpr int CaptionGap = 3;
constexpr int PairGap = 10;
constexpr int RowGap = 4;

QSpinBox* addSpinBox(QWidget* parent, const char* name, int maximum, const QString& tip)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(0, maximum);
    box->setToolTip(tip);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return box;
}

QLabel* addCaption(QWidget* parent, const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    label->setToolTip(buddy->toolTip());
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

} // namespace

TraceOptions::TraceOptions(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TraceOptions"));
    m_tolerance = addSpinBox(this, "tolerance", 255,
                             QStringLiteral("Also trace pixels whose red, green and blue each "
                                            "differ from the picked colour by at most this much; "
                                            "0 traces exactly the picked colour."));
    m_toleranceLabel = addCaption(this, QStringLiteral("Tolerance"), m_tolerance);
    m_specks = addSpinBox(this, "specks", LargestSpeck,
                          QStringLiteral("Leave out groups of traced pixels, touching by an edge "
                                         "or a corner, of fewer than this many pixels; 0 leaves "
                                         "every pixel."));
    m_specks->setSuffix(QStringLiteral(" px"));
    m_specksLabel = addCaption(this, QStringLiteral("Specks under"), m_specks);
    m_invert = new QCheckBox(QStringLiteral("All but this colour"), this);
    m_invert->setObjectName(QStringLiteral("invert"));
    m_invert->setToolTip(QStringLiteral("Trace every pixel that is not within the tolerance of "
                                        "the picked colour: pick the background to trace a "
                                        "many-coloured logo whole."));

    connect(m_tolerance, &QSpinBox::valueChanged, this, &TraceOptions::changed);
    connect(m_specks, &QSpinBox::valueChanged, this, &TraceOptions::changed);
    connect(m_invert, &QCheckBox::toggled, this, &TraceOptions::changed);
}

TraceSettings TraceOptions::settings(ColorValue target) const
{
    TraceSettings settings;
    settings.target = target;
    settings.tolerance = m_tolerance->value();
    settings.despeckle = m_specks->value();
    settings.invert = m_invert->isChecked();
    return settings;
}

QList<QWidget*> TraceOptions::tabOrder() const
{
    return {m_tolerance, m_specks, m_invert};
}

// "Tolerance" [box]  "Specks under" [box] on the first row, the check box below, both rows
// centred in the height.
bool TraceOptions::arrange(const QFont& font)
{
    for (QWidget* child : findChildren<QWidget*>())
        child->setFont(font);
    const QFontMetrics metrics(font);
    const auto captionWidth = [&](const QLabel* label) {
        return metrics.horizontalAdvance(label->text()) + CaptionGap;
    };
    const QSize tolerance = m_tolerance->sizeHint();
    const QSize specks = m_specks->sizeHint();
    const int firstRow = std::max({tolerance.height(), specks.height(), metrics.height()});
    const QSize invert = m_invert->sizeHint();
    const int rowsHeight = firstRow + RowGap + invert.height();
    int y = std::max(0, (height() - rowsHeight) / 2);

    int x = 0;
    const auto place = [&](QWidget* widget, int width) {
        widget->setGeometry(x, y, width, firstRow);
        x += width;
    };
    place(m_toleranceLabel, captionWidth(m_toleranceLabel));
    place(m_tolerance, tolerance.width());
    x += PairGap;
    place(m_specksLabel, captionWidth(m_specksLabel));
    place(m_specks, specks.width());
    const int firstRowWidth = x;

    y += firstRow + RowGap;
    m_invert->setGeometry(0, y, invert.width(), invert.height());
    return firstRowWidth <= width() && invert.width() <= width() && rowsHeight <= height();
}

} // namespace kelviq
