#pragma once

#include "output/FileIdentity.h"
#include "plot/PlotFormat.h"
#include "plot/PlotStyle.h"
#include "run/PlotSize.h"
#include "trace/ColorValue.h"
#include "trace/TraceSettings.h"

#include <QList>
#include <QPoint>
#include <QString>
#include <optional>

namespace kelviq {

class MemoryBudget;
struct RunResult;

// What every picture of one command line is converted with.
struct JobSettings
{
    std::optional<ColorValue> color; // black when neither this nor pick is given
    std::optional<QPoint> pick;
    TraceSettings trace; // tolerance, inversion and speck size; the colour comes from above
    std::optional<PlotFormat> format; // nothing: the output's extension decides
    PlotStyle style;                  // lines or outlines, board side, layer
    QString scale = QStringLiteral("2");
    // --scale picture: each picture's own size, from the dots per inch it states.
    bool scaleFromPicture = false;
    QString thickness = QStringLiteral("10");
    // The plot's wanted width or height in mils, instead of the scale; the scale that gives it
    // is worked out for each picture.
    std::optional<double> widthMils;
    std::optional<double> heightMils;
    QString sizeText; // the width or height as given ("25mm"), for messages
    PlotSize::Unit sizeUnit = PlotSize::Unit::Mil;
    bool dryRun = false;
    bool folderWillBeMade = false; // a dry run's --output-dir that the real run would make
    bool quiet = false;
    bool ignoreOrientation = false; // trace the rows as stored, not as the EXIF data turns them
    bool showProgress = false;      // at a terminal, for large pictures
};

// What the user is told about one picture.
struct JobReport
{
    bool converted = false;
    QString error;                       // one line for standard error, when not converted
    QString summary;                     // one line on success, empty when quiet
    bool summaryToStandardError = false; // the plot itself went to standard output
};

// One picture of the command line, converted on its own: its plot file is made ready first
// (a name that cannot be written is refused before the picture is read), then the picture is
// read, traced and its plot put in place.
class PictureJob
{
public:
    PictureJob(const JobSettings& settings, QString picture, QString outputName);

    QString picture() const { return m_picture; }
    QString outputName() const { return m_outputName; }
    // Files no plot may replace: every picture of the command line.
    void setKeptFiles(QList<FileIdentity> files) { m_kept = std::move(files); }
    // Refuses the picture without touching anything, with this message.
    void refuse(const QString& message) { m_refusal = message; }

    JobReport run(MemoryBudget& memory) const;

private:
    // Why the picture cannot be plotted at the size asked for, in the words of that size; the
    // scale that gives it otherwise.
    std::optional<QString> sizeProblem(PlotFormat format, int columns, int rows,
                                       QString& scale) const;
    QString summary(int width, int height, bool turned, const QString& scale,
                    const RunResult& result) const;

    JobSettings m_settings;
    QString m_picture;
    QString m_outputName;
    QList<FileIdentity> m_kept;
    QString m_refusal;
};

} // namespace kelviq
