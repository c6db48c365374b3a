#include "support/RecordingPlatform.h"

namespace kelviq {

void RecordingPlatform::showMessage(const QString& text, const QString& title, MessageIcon icon)
{
    messages.append({text, title, icon});
    calls.append(QStringLiteral("message"));
}

void RecordingPlatform::beep()
{
    ++beeps;
    calls.append(QStringLiteral("beep"));
}

void RecordingPlatform::processEvents()
{
    ++eventPasses;
    calls.append(QStringLiteral("events"));
    if (m_onProcessEvents)
        m_onProcessEvents(eventPasses);
}

void RecordingPlatform::end()
{
    m_endRequested = true;
    calls.append(QStringLiteral("end"));
}

QString RecordingPlatform::chooseOpenFile(const OpenFileRequest& request)
{
    openRequests.append(request);
    calls.append(QStringLiteral("open"));
    return std::exchange(m_nextOpenFile, QString());
}

QString RecordingPlatform::chooseSaveFile(const SaveFileRequest& request)
{
    saveRequests.append(request);
    calls.append(QStringLiteral("save"));
    return std::exchange(m_nextSaveFile, QString());
}

std::optional<PlotSizeAnswer> RecordingPlatform::askPlotSize(const PlotSizeRequest& request)
{
    plotSizeRequests.append(request);
    calls.append(QStringLiteral("plot size"));
    return std::exchange(m_nextPlotSize, std::nullopt);
}

} // namespace kelviq
