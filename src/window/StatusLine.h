#pragma once

#include "trace/ColorValue.h"

#include <QSize>
#include <QStatusBar>
#include <optional>

class QLabel;

namespace kelviq {

struct RunResult;

// What the status line tells about the picture and the settings.
struct StatusFacts
{
    QSize picture; // empty while there is none
    QString scaleText;
    QString thicknessText;
    ColorValue color = 0;
    std::optional<qint64> segments; // none while they are being counted
};

// The line below the window's client area: the picture's and the plot's size, the picked
// colour, the segments "3 - Make out.plt" will write, advice on thickness and pitch, and what
// the last run did.
class StatusLine : public QStatusBar
{
    Q_OBJECT

public:
    explicit StatusLine(QWidget* parent = nullptr);

    void showFacts(const StatusFacts& facts);
    void showRun(const RunResult& result);
    // A note in the place of the last run's outcome.
    void showNote(const QString& text);

    static QString factsText(const StatusFacts& facts);
    static QString adviceText(const QString& scaleText, const QString& thicknessText);
    static QString runText(const RunResult& result);
    // A length for reading, at most three decimals: "984.252".
    static QString lengthText(double value);

private:
    QLabel* addPart(const char* name);

    QLabel* m_facts;
    QLabel* m_advice;
    QLabel* m_run;
};

} // namespace kelviq
