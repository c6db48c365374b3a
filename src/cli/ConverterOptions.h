#pragma once

#include "plot/PlotFormat.h"
#include "plot/PlotStyle.h"
#include "trace/ColorValue.h"

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <optional>

namespace kelviq {

// One command line of kelviq-convert, read and checked for usage.
class ConverterOptions
{
public:
    // arguments as Qt decoded them, raw as the system passed them (to tell names that are
    // not valid UTF-8). Empty usageError() and not wantsHelp()/wantsVersion() mean: convert.
    static ConverterOptions parse(const QStringList& arguments, const QList<QByteArray>& raw);

    QString usageError() const { return m_usageError; }
    // Why --tolerance or --despeckle cannot be used, or empty; told like a bad scale.
    QString settingsProblem() const;
    // The format every plot of this command line is written in: --format, else the
    // extension of --output, else the first format's.
    PlotFormat plotFormat() const;
    // Their values, once settingsProblem() is empty.
    int toleranceValue() const { return wholeNumber(tolerance).value_or(0); }
    int despeckleValue() const { return wholeNumber(despeckle).value_or(0); }
    bool wantsHelp() const { return m_help; }
    bool wantsVersion() const { return m_version; }
    QString helpText() const { return m_helpText; }

    QStringList pictures;
    std::optional<ColorValue> color;
    std::optional<QPoint> pick;
    QString scale = QStringLiteral("2");
    // --scale picture: the scale each picture states.
    bool scaleFromPicture() const { return scale == QLatin1String("picture"); }
    QString thickness = QStringLiteral("10");
    QString width;     // --width LENGTH, empty when not given
    QString height;    // --height LENGTH, empty when not given
    QString output;    // --output, empty when not given
    QString outputDir; // --output-dir, empty when not given
    QString tolerance = QStringLiteral("0");
    bool invert = false;
    QString despeckle = QStringLiteral("0");
    std::optional<PlotFormat> format; // nothing: the output's extension decides
    PlotStyle style;                  // --shape, --side, --layer
    bool dryRun = false;
    bool quiet = false;
    bool ignoreOrientation = false;

    // The bytes of a picture or output name that is not valid UTF-8 as the system passed it;
    // nothing for names that came through whole.
    std::optional<QByteArray> brokenName(const QString& name) const;

private:
    static std::optional<int> wholeNumber(const QString& text);

    QString m_usageError;
    bool m_help = false;
    bool m_version = false;
    QString m_helpText;
    // Arguments that are not valid UTF-8: as decoded, and as passed.
    QList<std::pair<QString, QByteArray>> m_broken;
};

} // namespace kelviq
