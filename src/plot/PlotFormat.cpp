#include "plot/PlotFormat.h"

#include "plot/GerberWriter.h"
#include "plot/IpfWriter.h"
#include "plot/KicadWriter.h"
#include "plot/SvgWriter.h"

#include <QFileInfo>

namespace kelviq::plotformat {

QString name(PlotFormat format)
{
    switch (format) {
    case PlotFormat::Gerber:
        return QStringLiteral("gerber");
    case PlotFormat::Kicad:
        return QStringLiteral("kicad");
    case PlotFormat::Svg:
        return QStringLiteral("svg");
    case PlotFormat::Ipf:
        break;
    }
    return QStringLiteral("ipf");
}

std::optional<PlotFormat> fromName(const QString& text)
{
    for (const PlotFormat format :
         {PlotFormat::Ipf, PlotFormat::Gerber, PlotFormat::Kicad, PlotFormat::Svg}) {
        if (text.compare(name(format), Qt::CaseInsensitive) == 0)
            return format;
    }
    return std::nullopt;
}

PlotFormat fromFileName(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("gbr") || suffix == QLatin1String("gto") ||
        suffix == QLatin1String("gbo"))
        return PlotFormat::Gerber;
    if (suffix == QLatin1String("kicad_mod"))
        return PlotFormat::Kicad;
    if (suffix == QLatin1String("svg"))
        return PlotFormat::Svg;
    return PlotFormat::Ipf;
}

QString extension(PlotFormat format)
{
    switch (format) {
    case PlotFormat::Gerber:
        return QStringLiteral(".gbr");
    case PlotFormat::Kicad:
        return QStringLiteral(".kicad_mod");
    case PlotFormat::Svg:
        return QStringLiteral(".svg");
    case PlotFormat::Ipf:
        break;
    }
    return QStringLiteral(".plt");
}

std::unique_ptr<SegmentWriter> createWriter(PlotFormat format, ByteSink& sink,
                                            const std::string& designName)
{
    switch (format) {
    case PlotFormat::Gerber:
        return std::make_unique<GerberWriter>(sink);
    case PlotFormat::Kicad:
        return std::make_unique<KicadWriter>(sink, designName);
    case PlotFormat::Svg:
        return std::make_unique<SvgWriter>(sink);
    case PlotFormat::Ipf:
        break;
    }
    return std::make_unique<IpfWriter>(sink);
}

} // namespace kelviq::plotformat
