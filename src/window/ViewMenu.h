#pragma once

#include "window/ViewRenderer.h"

#include <QObject>

class QAction;
class QMenu;
class QMenuBar;

namespace kelviq {

class PictureArea;

// The "View" menu: the three views of the picture area, its zoom, and "Set Plot Size…".
// Switches views and zooms the area itself; what needs the window asks it by signal.
class ViewMenu : public QObject
{
    Q_OBJECT

public:
    ViewMenu(QMenuBar* bar, PictureArea* area, QObject* parent = nullptr);

    // Only with a picture to size.
    void setPlotSizeEnabled(bool enabled);

    // The view's name as its menu item reads: "Traced Pixels".
    static QString viewName(ViewMode mode);

signals:
    void fitInWindowRequested();
    void setPlotSizeRequested();

private:
    QAction* addAction(const char* caption, const char* name, const QList<QKeySequence>& keys);

    QMenu* m_menu;
    QAction* m_setPlotSize;
};

} // namespace kelviq
