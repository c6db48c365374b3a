#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace kelviq {

enum class MessageIcon
{
    Critical,
    Information
};

// What the file-open dialog is asked for: filters as "Description (*.ext)" entries and the
// one selected at start (counted from 0).
struct OpenFileRequest
{
    QString title;
    QStringList filters;
    int selectedFilter = 0;
    QString directory;
};

// What the file-save dialog is asked for: a file name to start from (a full path: its folder
// is where the dialog opens), the filters as for opening, and the extension a name typed
// without one gets (no dot). The dialog asks before a file is overwritten.
struct SaveFileRequest
{
    QString title;
    QStringList filters;
    QString path;
    QString defaultSuffix;
};

enum class PlotSide
{
    Width,
    Height
};

// A size the dialog offers ready-made, such as the size the picture states.
struct PlotSizeChoice
{
    QString caption;
    PlotSide side = PlotSide::Width;
    QString number;
    int unit = 0; // index into the units
};

// What "Set Plot Size…" asks for: a width or a height of the plot with its unit. The window
// says what each answer would give, so the dialog can show it while the user types; and for
// each answer whether "Set Lines Thick to match" should start ticked.
struct PlotSizeRequest
{
    PlotSide side = PlotSide::Width;
    QString number;    // shown at start
    QStringList units; // e.g. "mm", "mil", "in"; the first is chosen
    std::optional<PlotSizeChoice> stated;
    std::function<QString(PlotSide side, const QString& length)> describe;
    std::function<bool(PlotSide side, const QString& length)> acceptable;
    std::function<bool(PlotSide side, const QString& length)> matchThickness;
};

struct PlotSizeAnswer
{
    PlotSide side = PlotSide::Width;
    QString length;              // the number and its unit, as "25mm"
    bool matchThickness = false; // "Set Lines Thick to match" ticked
};

// Everything the program needs from the windowing platform, behind one interface so that the
// conversion and the window can run against a recording fake in tests.
class PlatformServices
{
public:
    virtual ~PlatformServices() = default;

    // Modal message box with an OK button. Single carriage returns in text break lines.
    virtual void showMessage(const QString& text, const QString& title, MessageIcon icon) = 0;
    virtual void beep() = 0;
    // Runs the window events already queued, then returns.
    virtual void processEvents() = 0;
    // Asks the program to end. A run in progress sees endRequested() and stops at its next row.
    virtual void end() = 0;
    virtual bool endRequested() const = 0;
    // Modal open dialog. Returns the chosen full path, or an empty string when cancelled.
    virtual QString chooseOpenFile(const OpenFileRequest& request) = 0;
    // Modal save dialog. Returns the chosen full path, or an empty string when cancelled.
    virtual QString chooseSaveFile(const SaveFileRequest& /*request*/) { return {}; }
    // Modal "Set Plot Size" dialog. Returns nothing when cancelled.
    virtual std::optional<PlotSizeAnswer> askPlotSize(const PlotSizeRequest& /*request*/)
    {
        return std::nullopt;
    }
};

} // namespace kelviq
