#pragma once

#include "run/ConversionFrontEnd.h"

namespace kelviq {

// The settings of one command line, standing where the window's controls stand.
class ConverterFrontEnd : public ConversionFrontEnd
{
public:
    ConverterFrontEnd(QString fileName, Raster picture, const TraceSettings& settings,
                      QString scale, QString thickness);

    QString fileName() const override { return m_fileName; }
    Raster picture() const override { return m_picture; }
    ColorValue targetColor() const override { return m_settings.target; }
    TraceSettings traceSettings() const override { return m_settings; }
    QString scaleText() const override { return m_scale; }
    QString thicknessText() const override { return m_thickness; }
    void setMakeButtonVisible(bool) override {}
    void setBusyPictureVisible(int, bool) override {}
    void rowDone(int row, int rows) override;

    // Show a percentage on standard error while converting.
    void setShowProgress(bool show) { m_showProgress = show; }
    // Ends a progress line cut short by a failure, so that the message starts a line of its own.
    void endProgressLine();

private:
    QString m_fileName;
    Raster m_picture;
    TraceSettings m_settings;
    QString m_scale;
    QString m_thickness;
    bool m_showProgress = false;
    bool m_progressShown = false;
    int m_lastPercent = -1;
};

} // namespace kelviq
