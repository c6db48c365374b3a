#include "window/StatusLine.h"

#include "window/ElidedLabel.h"

#include <QGridLayout>

namespace kelviq {

StatusLine::StatusLine(QWidget* parent) : QStatusBar(parent)
{
    setObjectName(QStringLiteral("StatusLine"));
    setSizeGripEnabled(false);
    // Two rows, so that a run's full path and the advice both fit a window of 1024 pixels:
    // the facts, the last run's outcome (it is news) and the view above, the advice below. The
    // advice's row stays when empty, so the window's client area never changes height.
    auto* rows = new QWidget(this);
    auto* grid = new QGridLayout(rows);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(0);
    grid->setHorizontalSpacing(fontMetrics().horizontalAdvance(QStringLiteral("   ")));
    m_facts = addPart("StatusFacts");
    m_run = addPart("StatusRun");
    m_view = addPart("StatusView");
    m_advice = addPart("StatusAdvice");
    m_view->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(m_facts, 0, 0);
    grid->addWidget(m_run, 0, 1);
    grid->addWidget(m_view, 0, 2);
    grid->addWidget(m_advice, 1, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    addWidget(rows, 1);
}

ElidedLabel* StatusLine::addPart(const char* name)
{
    auto* label = new ElidedLabel(this);
    label->setObjectName(QLatin1String(name));
    return label;
}

void StatusLine::showFacts(const StatusFacts& facts)
{
    m_facts->setLine(StatusTexts::facts(facts));
    m_advice->setLine(StatusTexts::advice(facts));
}

void StatusLine::showRun(const RunResult& result, const TraceSettings& settings)
{
    showNote(StatusTexts::run(result, settings));
    m_runShown = !m_run->text().isEmpty();
}

void StatusLine::showNote(const QString& text)
{
    m_runShown = false;
    m_run->setLine(text);
    m_run->setVisible(!text.isEmpty());
}

void StatusLine::showView(const QString& text)
{
    m_view->setLine(text);
}

void StatusLine::markRunEarlier()
{
    if (!m_runShown)
        return;
    m_runShown = false;
    m_run->setLine(earlierPrefix() + m_run->text());
}

} // namespace kelviq
