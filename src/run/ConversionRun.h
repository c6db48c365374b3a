#pragma once

#include "plot/PlotFormat.h"
#include "plot/PlotStyle.h"

#include <QString>

namespace kelviq {

class ConversionFrontEnd;
class PlatformServices;
class PlotOutput;

// How a run ended.
enum class RunOutcome
{
    Written,     // out.plt replaced with the new plot (or, for a dry run, only counted)
    NoPicture,   // no file chosen: nothing touched
    BadSetting,  // scale or thickness unusable: nothing touched
    OpenFailed,  // out.plt could not be created: no scan
    WriteFailed, // writing or saving failed: old out.plt kept
    Abandoned,   // the program is ending: old out.plt kept, nothing to tell
};

// What happened, for the window or the converter to tell: the run itself shows nothing.
struct RunResult
{
    RunOutcome outcome = RunOutcome::NoPicture;
    PlotShape shape = PlotShape::Lines; // what was asked for: lines or filled shapes
    qint64 segments = 0;                // lines written (lines plots)
    qint64 shapes = 0;                  // filled shapes written (outline plots) ...
    qint64 vertices = 0;                // ... and the corners of their outlines and holes
    qint64 bytes = 0;
    QString outputPath; // absolute, or "standard output"
    // What the user is to be told, for every outcome but Written and Abandoned: a message box
    // titled messageTitle() with the critical icon in the window, one line from the converter.
    QString message;
};

// The "3 - Make out.plt" action: scans the picture row by row from the top and writes one
// line segment per horizontal run of the target colour into the plot file - or, for an
// outline plot, each shape of traced pixels as soon as its outline is complete.
class ConversionRun
{
public:
    ConversionRun(ConversionFrontEnd& frontEnd, PlatformServices& platform);

    // The plot file's name as PlotOutput takes it; relative names are taken from the current
    // directory at the time of the run.
    void setOutputPath(const QString& path) { m_outputPath = path; }
    // An output the caller opened already (the converter does so before it reads the
    // picture); the run writes there and commits or cancels it.
    void setOutput(PlotOutput* output) { m_output = output; }
    // The file format written (IPF unless told otherwise) and, for formats that name their
    // design (a KiCad footprint), its name.
    void setFormat(PlotFormat format) { m_format = format; }
    void setDesignName(const QString& name) { m_designName = name; }
    // Lines or outlines, the board side and the layer; lines on the top silkscreen unless told.
    void setStyle(const PlotStyle& style) { m_style = style; }

    RunResult run();

    // Why the settings cannot be read - a scale or thickness that is not a number - told
    // before any picture or file is touched; empty when they can.
    static QString settingsProblem(const QString& scaleText, const QString& thicknessText);
    // Why a format cannot hold a plot of this shape ("IPF files hold lines only ..."), or empty.
    static QString shapeProblem(PlotFormat format, PlotShape shape);
    // Why settings that are numbers cannot make a plot in the format whatever the picture: a
    // scale of 0 or less, a negative thickness or one the format cannot write. Empty when they
    // can; told like the above. Outlines have no thickness: only their scale counts.
    static QString rangeProblem(const QString& scaleText, const QString& thicknessText,
                                PlotFormat format, PlotShape shape = PlotShape::Lines);
    // What the user is told when an output cannot be opened.
    static QString cannotCreateText(const PlotOutput& output);

    // Message texts, exact.
    static QString noPictureText();
    static QString messageTitle();

private:
    static RunResult fail(RunResult result, const QString& message);

    ConversionFrontEnd& m_frontEnd;
    PlatformServices& m_platform;
    QString m_outputPath = QStringLiteral("out.plt");
    PlotOutput* m_output = nullptr;
    PlotFormat m_format = PlotFormat::Ipf;
    QString m_designName;
    PlotStyle m_style;
};

} // namespace kelviq
