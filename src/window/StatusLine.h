#pragma once

#include "window/StatusTexts.h"

#include <QStatusBar>

namespace kelviq {

class ElidedLabel;

// The line below the window's client area, in two rows. Above: the picture's and the plot's
// size, the picked colour and the segments "3 - Make out.plt" will write; what the last run
// did, or a note such as a picture's reading; the view and its zoom. Below: advice on the
// settings. Texts too long for the window end in "…" and show whole in their tooltips.
class StatusLine : public QStatusBar
{
    Q_OBJECT

public:
    explicit StatusLine(QWidget* parent = nullptr);

    void showFacts(const StatusFacts& facts);
    void showRun(const RunResult& result, const TraceSettings& settings);
    // A note in the place of the last run's outcome.
    void showNote(const QString& text);
    void showView(const QString& text);
    // A setting, the colour or the picture changed: the last run's outcome no longer
    // describes them and says so.
    void markRunEarlier();

    static QString earlierPrefix() { return QStringLiteral("Before the last change: "); }

private:
    ElidedLabel* addPart(const char* name);

    ElidedLabel* m_facts;
    ElidedLabel* m_run;
    ElidedLabel* m_view;
    ElidedLabel* m_advice;
    bool m_runShown = false;
};

} // namespace kelviq
