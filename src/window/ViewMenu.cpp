#include "window/ViewMenu.h"

#include "window/PictureArea.h"

#include <QActionGroup>
#include <QMenuBar>

namespace kelviq {

ViewMenu::ViewMenu(QMenuBar* bar, PictureArea* area, QObject* parent) : QObject(parent)
{
    m_menu = bar->addMenu(QStringLiteral("View"));
    m_menu->setObjectName(QStringLiteral("view"));

    auto* views = new QActionGroup(this);
    const struct
    {
        const char* name;
        ViewMode mode;
    } modes[] = {{"viewPicture", ViewMode::Picture},
                 {"viewTraced", ViewMode::TracedPixels},
                 {"viewPlot", ViewMode::Plot}};
    for (int i = 0; i < 3; ++i) {
        QAction* action = addAction(qPrintable(viewName(modes[i].mode)), modes[i].name,
                                    {QKeySequence(Qt::CTRL | (Qt::Key_1 + i))});
        action->setCheckable(true);
        action->setChecked(i == 0);
        views->addAction(action);
        const ViewMode mode = modes[i].mode;
        connect(action, &QAction::triggered, area, [area, mode] { area->setViewMode(mode); });
    }
    m_menu->addSeparator();

    connect(
        addAction("Zoom In", "zoomIn",
                  {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)}),
        &QAction::triggered, area, &PictureArea::zoomIn);
    connect(addAction("Zoom Out", "zoomOut", {QKeySequence(Qt::CTRL | Qt::Key_Minus)}),
            &QAction::triggered, area, &PictureArea::zoomOut);
    connect(addAction("Actual Size", "actualSize", {QKeySequence(Qt::CTRL | Qt::Key_0)}),
            &QAction::triggered, area, [area] { area->setZoom(1.0); });
    connect(addAction("Fit in Window", "fitInWindow", {}), &QAction::triggered, this,
            &ViewMenu::fitInWindowRequested);
    m_menu->addSeparator();

    m_setPlotSize = addAction("Set Plot Size…", "setPlotSize", {});
    m_setPlotSize->setEnabled(false);
    connect(m_setPlotSize, &QAction::triggered, this, &ViewMenu::setPlotSizeRequested);
}

QAction* ViewMenu::addAction(const char* caption, const char* name, const QList<QKeySequence>& keys)
{
    QAction* action = m_menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QLatin1String(name));
    action->setShortcuts(keys);
    return action;
}

QString ViewMenu::viewName(ViewMode mode)
{
    switch (mode) {
    case ViewMode::TracedPixels:
        return QStringLiteral("Traced Pixels");
    case ViewMode::Plot:
        return QStringLiteral("Plot");
    case ViewMode::Picture:
        break;
    }
    return QStringLiteral("Picture");
}

void ViewMenu::setPlotSizeEnabled(bool enabled)
{
    m_setPlotSize->setEnabled(enabled);
}

} // namespace kelviq
