#include "window/ExportMenu.h"

#include <QDir>
#include <QFileInfo>
#include <QMenuBar>

namespace kelviq {

namespace {

struct ExportItem
{
    PlotFormat format;
    const char* caption;
    const char* name;
    const char* filter;
};

constexpr ExportItem Items[] = {
    {PlotFormat::Gerber, "Gerber…", "exportGerber", "Gerber Files (*.gbr *.gto *.gbo)"},
    {PlotFormat::Kicad, "KiCad Footprint…", "exportKicad", "KiCad Footprints (*.kicad_mod)"},
    {PlotFormat::Svg, "SVG…", "exportSvg", "SVG Files (*.svg)"},
};

const ExportItem& itemFor(PlotFormat format)
{
    for (const ExportItem& item : Items) {
        if (item.format == format)
            return item;
    }
    return Items[0];
}

} // namespace

ExportMenu::ExportMenu(QMenuBar* bar, QObject* parent) : QObject(parent)
{
    m_menu = bar->addMenu(QStringLiteral("Export"));
    m_menu->setObjectName(QStringLiteral("export"));
    for (const ExportItem& item : Items) {
        QAction* action = m_menu->addAction(QString::fromUtf8(item.caption));
        action->setObjectName(QLatin1String(item.name));
        const PlotFormat format = item.format;
        connect(action, &QAction::triggered, this,
                [this, format] { emit exportRequested(format); });
    }
    setEnabled(false);
}

void ExportMenu::setEnabled(bool enabled)
{
    for (QAction* action : m_menu->actions())
        action->setEnabled(enabled);
}

SaveFileRequest ExportMenu::saveRequest(PlotFormat format, const QString& picturePath)
{
    const ExportItem& item = itemFor(format);
    const QFileInfo picture(picturePath);
    const QString extension = plotformat::extension(format);
    SaveFileRequest request;
    request.title = QStringLiteral("Export ") + QString::fromUtf8(item.caption).chopped(1);
    request.filters = {QString::fromLatin1(item.filter), QStringLiteral("All Files (*.*)")};
    request.path = picture.dir().filePath(picture.completeBaseName() + extension);
    request.defaultSuffix = extension.mid(1);
    return request;
}

} // namespace kelviq
