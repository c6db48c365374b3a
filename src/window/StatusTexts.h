#pragma once

#include "picture/PictureDensity.h"
#include "trace/TraceSettings.h"
#include "window/ToleranceHint.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

namespace kelviq {

struct RunResult;

// What the status line tells about the picture and the settings.
struct StatusFacts
{
    QSize picture; // empty while there is none
    QString scaleText;
    QString thicknessText;
    TraceSettings settings;         // the picked colour and which pixels are traced
    std::optional<qint64> segments; // none while they are being counted
    // The exports write filled outlines: their shapes and vertices are told instead of the
    // segments, none while they are being counted.
    bool outlines = false;
    std::optional<qint64> shapes;
    qint64 vertices = 0;
    PictureDensity density; // what the picture says of its size
    std::optional<ToleranceHint> hint;
};

// The status line's words: each text says what it is about and, where something is wrong,
// what to do; names are shown on one line.
class StatusTexts
{
public:
    // Picture size, plot size, colour, segments (or shapes).
    static QString facts(const StatusFacts& facts);
    // Why nothing is traced, a tolerance worth trying, the picture's own scale, and the
    // thickness against the pixel pitch; empty when there is nothing to say.
    static QString advice(const StatusFacts& facts);
    // outlines: the exports write filled outlines, so the thickness is only out.plt's.
    static QString thicknessAdvice(const QString& scaleText, const QString& thicknessText,
                                   bool outlines = false);
    // Why these settings trace no pixel of the picture.
    static QString nothingTraced(const TraceSettings& settings);
    // What a run did; settings say why an empty plot is empty.
    static QString run(const RunResult& result, const TraceSettings& settings);
    // "Traced Pixels · 25 %".
    static QString view(const QString& viewName, double zoom);
    // After a picture was read (error empty) or not: that the names ignored were not opened,
    // that the picture was turned as its EXIF orientation says, or that the view kept from the
    // picture before is not the picture itself.
    static QString opened(const QString& path, const QString& error, const QStringList& ignored,
                          const QString& keptView, bool turned = false);
    // "Reading large.png … 40 %. Esc cancels."; percent -1: the size is unknown.
    static QString reading(const QString& path, int percent, qint64 bytes);
    // A text on one line, the names in it with their control characters escaped.
    static QString oneLine(QString text, const QStringList& names = {});

    // A setting's text read as a number, as a run reads it.
    static std::optional<double> number(const QString& text);
    // A length for reading, at most three decimals: "984.252".
    static QString lengthText(double value);
    // Differences in mils below this are no gap and no growth.
    static constexpr double NegligibleMils = 0.01;
};

} // namespace kelviq
