#include "cli/ConverterFrontEnd.h"

#include <cstdio>

namespace kelviq {

ConverterFrontEnd::ConverterFrontEnd(QString fileName, Raster picture,
                                     const TraceSettings& settings, QString scale,
                                     QString thickness)
    : m_fileName(std::move(fileName)), m_picture(std::move(picture)), m_settings(settings),
      m_scale(std::move(scale)), m_thickness(std::move(thickness))
{
}

void ConverterFrontEnd::rowDone(int row, int rows)
{
    if (!m_showProgress)
        return;
    const int percent = static_cast<int>(qint64(row + 1) * 100 / rows);
    if (percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    std::fprintf(stderr, "\rConverting: %3d%%", percent);
    m_progressShown = true;
    if (row + 1 == rows) {
        std::fputs("\r                \r", stderr);
        m_progressShown = false;
    }
    std::fflush(stderr);
}

void ConverterFrontEnd::endProgressLine()
{
    if (m_progressShown)
        std::fputs("\n", stderr);
    m_progressShown = false;
}

} // namespace kelviq
