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
        const char* caption;
        const char* name;
        ViewMode mode;
    } modes[] = {{"Picture", "viewPicture", ViewMode::Picture},
                 {"Traced Pixels", "viewTraced", ViewMode::TracedPixels},
                 {"Plot", "viewPlot", ViewMode::Plot}};
    for (int i = 0; i < 3; ++i) {
        QAction* action =
            addAction(modes[i].caption, modes[i].name, {QKeySequence(Qt::CTRL | (Qt::Key_1 + i))});
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
        &QAction::triggered, area, [area] { area->setZoomStep(area->zoomStep() + 1); });
    connect(addAction("Zoom Out", "zoomOut", {QKeySequence(Qt::CTRL | Qt::Key_Minus)}),
            &QAction::triggered, area, [area] { area->setZoomStep(area->zoomStep() - 1); });
    connect(addAction("Actual Size", "actualSize", {QKeySequence(Qt::CTRL | Qt::Key_0)}),
            &QAction::triggered, area, [area] { area->setZoomStep(0); });
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

void ViewMenu::setPlotSizeEnabled(bool enabled)
{
    m_setPlotSize->setEnabled(enabled);
}

} // namespace kelviq
