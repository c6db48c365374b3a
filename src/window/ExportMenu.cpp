#include "window/ExportMenu.h"

#include <QActionGroup>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QSettings>

namespace kelviq {

namespace {

// The user's settings of the window, the choices under the converter's names for them.
QSettings settings()
{
    return QSettings(QStringLiteral("kelviq"), QStringLiteral("kelviq"));
}

const QString ShapeKey = QStringLiteral("export/shape");
const QString SideKey = QStringLiteral("export/side");
const QString LayerKey = QStringLiteral("export/layer");

// The remembered choice among names; the first (the default) when none or none known.
int remembered(const QSettings& from, const QString& key, std::span<const std::string_view> names)
{
    return plotstyle::indexOf(names, from.value(key).toString().toStdString()).value_or(0);
}

QString nameOf(std::span<const std::string_view> names, int index)
{
    return QString::fromUtf8(names[static_cast<std::size_t>(index)]);
}

int checkedIndex(const QActionGroup* group)
{
    return static_cast<int>(group->actions().indexOf(group->checkedAction()));
}

} // namespace

ExportMenu::ExportMenu(QMenuBar* bar, QObject* parent) : QObject(parent)
{
    m_menu = bar->addMenu(QStringLiteral("Export"));
    m_menu->setObjectName(QStringLiteral("export"));
    // Every format but the plot file "3 - Make out.plt" writes.
    for (const PlotFormatInfo& info : plotformat::all()) {
        if (info.format == PlotFormat::Ipf)
            continue;
        QAction* action = m_menu->addAction(QString::fromUtf8(info.title) + QChar(u'…'));
        const QString name = QString::fromUtf8(info.name);
        action->setObjectName(QStringLiteral("export") + name.left(1).toUpper() + name.mid(1));
        const PlotFormat format = info.format;
        connect(action, &QAction::triggered, this,
                [this, format] { emit exportRequested(format); });
        m_exports.append(action);
    }
    setEnabled(false);
    m_menu->addSeparator();

    const QSettings chosen = settings();
    m_filled = m_menu->addAction(QStringLiteral("Filled Outlines"));
    m_filled->setObjectName(QStringLiteral("filledOutlines"));
    m_filled->setCheckable(true);
    m_filled->setChecked(remembered(chosen, ShapeKey, plotstyle::shapeNames()) ==
                         static_cast<int>(PlotShape::Outline));
    connect(m_filled, &QAction::toggled, this, &ExportMenu::remember);
    // In the order of the converter's names.
    m_sides = addChoices("Board Side", "boardSide", {{"Top", "sideTop"}, {"Bottom", "sideBottom"}},
                         remembered(chosen, SideKey, plotstyle::sideNames()));
    m_layers = addChoices("Layer", "layer",
                          {{"Silkscreen", "layerSilkscreen"},
                           {"Solder Mask", "layerMask"},
                           {"Copper", "layerCopper"}},
                          remembered(chosen, LayerKey, plotstyle::layerNames()));
}

QActionGroup* ExportMenu::addChoices(const char* title, const char* name,
                                     const QList<std::pair<const char*, const char*>>& items,
                                     int chosen)
{
    QMenu* menu = m_menu->addMenu(QString::fromUtf8(title));
    menu->setObjectName(QLatin1String(name));
    auto* group = new QActionGroup(this);
    for (const auto& [caption, itemName] : items) {
        QAction* action = menu->addAction(QString::fromUtf8(caption));
        action->setObjectName(QLatin1String(itemName));
        action->setCheckable(true);
        group->addAction(action);
    }
    group->actions().value(chosen, group->actions().constFirst())->setChecked(true);
    connect(group, &QActionGroup::triggered, this, &ExportMenu::remember);
    return group;
}

void ExportMenu::remember()
{
    const PlotStyle style = chosen();
    QSettings to = settings();
    to.setValue(ShapeKey, nameOf(plotstyle::shapeNames(), static_cast<int>(style.shape)));
    to.setValue(SideKey, nameOf(plotstyle::sideNames(), static_cast<int>(style.side)));
    to.setValue(LayerKey, nameOf(plotstyle::layerNames(), static_cast<int>(style.layer)));
    emit styleChanged();
}

void ExportMenu::setEnabled(bool enabled)
{
    for (QAction* action : std::as_const(m_exports))
        action->setEnabled(enabled);
}

PlotStyle ExportMenu::chosen() const
{
    PlotStyle style;
    style.shape = m_filled->isChecked() ? PlotShape::Outline : PlotShape::Lines;
    style.side = static_cast<BoardSide>(checkedIndex(m_sides));
    style.layer = static_cast<BoardLayer>(checkedIndex(m_layers));
    return style;
}

PlotStyle ExportMenu::style(PlotFormat format) const
{
    PlotStyle style = chosen();
    if (!plotformat::info(format).filledShapes)
        style.shape = PlotShape::Lines;
    return style;
}

SaveFileRequest ExportMenu::saveRequest(PlotFormat format, const QString& picturePath)
{
    const PlotFormatInfo& info = plotformat::info(format);
    QStringList patterns;
    for (const std::string_view extension : plotformat::extensions(format))
        patterns.append(QLatin1Char('*') + QString::fromUtf8(extension));
    const QString extension = QString::fromUtf8(plotformat::extension(format));
    const QFileInfo picture(picturePath);
    SaveFileRequest request;
    request.title = QStringLiteral("Export ") + QString::fromUtf8(info.title);
    request.filters = {QString::fromUtf8(info.filesTitle) + QStringLiteral(" (") +
                           patterns.join(QLatin1Char(' ')) + QLatin1Char(')'),
                       QStringLiteral("All Files (*.*)")};
    request.path = picture.dir().filePath(picture.completeBaseName() + extension);
    request.defaultSuffix = extension.mid(1);
    return request;
}

} // namespace kelviq
