#include "window/ExportMenu.h"

#include <QDir>
#include <QFileInfo>
#include <QMenuBar>

namespace kelviq {

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
