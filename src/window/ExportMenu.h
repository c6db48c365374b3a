#pragma once

#include "platform/PlatformServices.h"
#include "plot/PlotFormat.h"
#include "plot/PlotStyle.h"

#include <QList>
#include <QObject>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;

namespace kelviq {

// The "Export" menu: the plot in each format of the format table but IPF (a Gerber file, a
// KiCad footprint, an SVG picture), asked of the window by signal; and how the plot is drawn:
// "Filled Outlines" instead of lines where the format holds them, the "Board Side" and the
// "Layer". The choices are remembered in the user's settings for the next start.
class ExportMenu : public QObject
{
    Q_OBJECT

public:
    explicit ExportMenu(QMenuBar* bar, QObject* parent = nullptr);

    // The export items: only with a picture to export, and not while a plot is being written.
    // The choices stay open.
    void setEnabled(bool enabled);

    // The choices: lines or filled outlines, the board side and the layer.
    PlotStyle chosen() const;
    // The style a plot in this format is written in: lines in a format that holds no filled
    // shapes (IPF), whatever is chosen.
    PlotStyle style(PlotFormat format) const;

    // The save dialog for a format: beside the picture, named after it.
    static SaveFileRequest saveRequest(PlotFormat format, const QString& picturePath);

signals:
    void exportRequested(PlotFormat format);
    void styleChanged();

private:
    // A submenu of exclusive choices, one per name, the one at `chosen` checked.
    QActionGroup* addChoices(const char* title, const char* name,
                             const QList<std::pair<const char*, const char*>>& items, int chosen);
    void remember();

    QMenu* m_menu;
    QList<QAction*> m_exports;
    QAction* m_filled;
    QActionGroup* m_sides;
    QActionGroup* m_layers;
};

} // namespace kelviq
