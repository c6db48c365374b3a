#pragma once

#include "trace/TraceSettings.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QSpinBox;

namespace kelviq {

// Which pixels are traced besides those of exactly the picked colour: "Tolerance", "Specks
// under … px" and "All but this colour", in the free space beside "2 - Settings". All three
// start at the values that trace exactly the picked colour.
class TraceOptions : public QWidget
{
    Q_OBJECT

public:
    // Speck removal holds back up to this many rows of runs; larger groups are hardly specks.
    static constexpr int LargestSpeck = 999;

    explicit TraceOptions(QWidget* parent = nullptr);

    // The picked colour with these options.
    TraceSettings settings(ColorValue target) const;

    // Places the controls in two rows in this font; false when they do not fit the widget.
    bool arrange(const QFont& font);

    // The controls in their tab order.
    QList<QWidget*> tabOrder() const;

signals:
    void changed();

private:
    QLabel* m_toleranceLabel;
    QSpinBox* m_tolerance;
    QLabel* m_specksLabel;
    QSpinBox* m_specks;
    QCheckBox* m_invert;
};

} // namespace kelviq
