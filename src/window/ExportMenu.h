#pragma once

#include "platform/PlatformServices.h"
#include "plot/PlotFormat.h"

#include <QObject>

class QMenu;
class QMenuBar;

namespace kelviq {

// The "Export" menu: the plot's segments in each format of the format table but IPF (a Gerber
// file, a KiCad footprint, an SVG picture). Asks the window to write them by signal.
class ExportMenu : public QObject
{
    Q_OBJECT

public:
    explicit ExportMenu(QMenuBar* bar, QObject* parent = nullptr);

    // Only with a picture to export, and not while a plot is being written.
    void setEnabled(bool enabled);

    // The save dialog for a format: beside the picture, named after it.
    static SaveFileRequest saveRequest(PlotFormat format, const QString& picturePath);

signals:
    void exportRequested(PlotFormat format);

private:
    QMenu* m_menu;
};

} // namespace kelviq
