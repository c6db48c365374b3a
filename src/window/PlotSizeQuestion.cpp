#include "window/PlotSizeQuestion.h"

#include "run/PlotSize.h"
#include "window/StatusTexts.h"

#include <cmath>

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

PlotSizeRequest PlotSizeQuestion::request(const Now& now)
{
    const QSize picture = now.picture;
    PlotSizeRequest request;
    request.units = {PlotSize::unitName(PlotSize::Unit::Millimetre),
                     PlotSize::unitName(PlotSize::Unit::Mil),
                     PlotSize::unitName(PlotSize::Unit::Inch)};
    if (now.scale && *now.scale > 0.0)
        request.number =
            StatusTexts::lengthText(picture.width() * *now.scale * PlotSize::MillimetresPerMil);
    if (now.density.stated()) {
        // The width the picture states, in inches with every digit a scale keeps.
        const double inches = picture.width() / now.density.dpiX;
        request.stated =
            PlotSizeChoice{QStringLiteral("The Picture's Own Size (%1 dpi): %2 mm wide")
                               .arg(StatusTexts::lengthText(now.density.dpiX),
                                    StatusTexts::lengthText(inches * PlotSize::MilsPerInch *
                                                            PlotSize::MillimetresPerMil)),
                           PlotSide::Width, PlotSize::scaleText(inches), 2};
    }
    const std::optional<double> thickness = now.thickness;
    request.describe = [picture, thickness](PlotSide side, const QString& length) {
        QString why;
        const std::optional<double> scale = scaleFor(picture, side, length, &why);
        if (!scale)
            return QStringLiteral("Cannot use it: ") + why + QLatin1Char('.');
        const QString text = PlotSize::scaleText(*scale);
        const double exact = text.toDouble();
        const double width = picture.width() * exact;
        const double height = picture.height() * exact;
        QString described =
            QStringLiteral("Scale: 1 pixel is %1 mils. The plot will be %2 × "
                           "%3 mm (%4 × %5 mils).")
                .arg(text, StatusTexts::lengthText(width * PlotSize::MillimetresPerMil),
                     StatusTexts::lengthText(height * PlotSize::MillimetresPerMil),
                     StatusTexts::lengthText(width), StatusTexts::lengthText(height));
        described += QStringLiteral(" Lines %1 mils thick cover the rows exactly").arg(text);
        if (thickness && std::abs(*thickness - exact) >= StatusTexts::NegligibleMils) {
            const double difference = *thickness - exact;
            described +=
                (difference > 0 ? QStringLiteral("; at %1 mils rows are %2 mils taller than "
                                                 "their pixels")
                                : QStringLiteral("; at %1 mils there are gaps of %2 mils "
                                                 "between rows"))
                    .arg(StatusTexts::lengthText(*thickness),
                         StatusTexts::lengthText(std::abs(difference)));
        }
        return described + QLatin1Char('.');
    };
    request.acceptable = [picture](PlotSide side, const QString& length) {
        return scaleFor(picture, side, length).has_value();
    };
    // Ticked where the lines would bleed past the next row.
    request.matchThickness = [picture, thickness](PlotSide side, const QString& length) {
        const std::optional<double> scale = scaleFor(picture, side, length);
        return scale && thickness && *thickness - *scale > *scale;
    };
    return request;
}

std::optional<PlotSizeQuestion::Answer> PlotSizeQuestion::ask(PlatformServices& platform,
                                                              const Now& now)
{
    const std::optional<PlotSizeAnswer> answer = platform.askPlotSize(request(now));
    if (!answer)
        return std::nullopt;
    const std::optional<double> scale = scaleFor(now.picture, answer->side, answer->length);
    if (!scale)
        return std::nullopt;
    const QString text = PlotSize::scaleText(*scale);
    return Answer{text, answer->matchThickness ? std::optional<QString>(text) : std::nullopt};
}

} // namespace kelviq
