#include "window/PlotSizeQuestion.h"

#include "run/PlotSize.h"
#include "window/StatusLine.h"

namespace kelviq {

std::optional<double> PlotSizeQuestion::scaleFor(QSize picture, PlotSide side,
                                                 const QString& length, QString* why)
{
    const std::optional<double> mils = PlotSize::parseLength(length, why);
    if (!mils)
        return std::nullopt;
    const std::optional<double> scale =
        PlotSize::scaleFor(*mils, side == PlotSide::Width ? picture.width() : picture.height());
    if (!scale && why)
        *why = QStringLiteral("no scale gives that size");
    return scale;
}

PlotSizeRequest PlotSizeQuestion::request(QSize picture, std::optional<double> currentScale)
{
    PlotSizeRequest request;
    request.units = {PlotSize::unitName(PlotSize::Unit::Millimetre),
                     PlotSize::unitName(PlotSize::Unit::Mil),
                     PlotSize::unitName(PlotSize::Unit::Inch)};
    if (currentScale && *currentScale > 0.0) {
        request.number =
            StatusLine::lengthText(picture.width() * *currentScale * PlotSize::MillimetresPerMil);
    }
    request.describe = [picture](PlotSide side, const QString& length) {
        QString why;
        const std::optional<double> scale = scaleFor(picture, side, length, &why);
        if (!scale)
            return QStringLiteral("Cannot use it: ") + why + QLatin1Char('.');
        const QString text = PlotSize::scaleText(*scale);
        const double exact = text.toDouble();
        const double width = picture.width() * exact;
        const double height = picture.height() * exact;
        return QStringLiteral("Scale: 1 pixel is %1 mils. The plot will be %2 × %3 mm "
                              "(%4 × %5 mils).")
            .arg(text, StatusLine::lengthText(width * PlotSize::MillimetresPerMil),
                 StatusLine::lengthText(height * PlotSize::MillimetresPerMil),
                 StatusLine::lengthText(width), StatusLine::lengthText(height));
    };
    request.acceptable = [picture](PlotSide side, const QString& length) {
        return scaleFor(picture, side, length).has_value();
    };
    return request;
}

std::optional<QString> PlotSizeQuestion::ask(PlatformServices& platform, QSize picture,
                                             std::optional<double> currentScale)
{
    const std::optional<PlotSizeAnswer> answer =
        platform.askPlotSize(request(picture, currentScale));
    if (!answer)
        return std::nullopt;
    const std::optional<double> scale = scaleFor(picture, answer->side, answer->length);
    if (!scale)
        return std::nullopt;
    return PlotSize::scaleText(*scale);
}

} // namespace kelviq
