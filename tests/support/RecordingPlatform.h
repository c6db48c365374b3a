#pragma once

#include "platform/PlatformServices.h"

#include <QList>
#include <QStringList>
#include <functional>
#include <utility>

namespace kelviq {

// A platform that answers without any window and records every call, in order, for tests.
class RecordingPlatform : public PlatformServices
{
public:
    struct Message
    {
        QString text;
        QString title;
        MessageIcon icon;
    };

    void showMessage(const QString& text, const QString& title, MessageIcon icon) override;
    void beep() override;
    void processEvents() override;
    void end() override;
    bool endRequested() const override { return m_endRequested; }
    QString chooseOpenFile(const OpenFileRequest& request) override;
    QString chooseSaveFile(const SaveFileRequest& request) override;
    std::optional<PlotSizeAnswer> askPlotSize(const PlotSizeRequest& request) override;

    // The answer the next open dialog gives; empty means the user cancels.
    void setNextOpenFileAnswer(const QString& path) { m_nextOpenFile = path; }
    // The answer the next save dialog gives; empty means the user cancels.
    void setNextSaveFileAnswer(const QString& path) { m_nextSaveFile = path; }
    // The answer the next plot size dialog gives; none means the user cancels.
    void setNextPlotSizeAnswer(std::optional<PlotSizeAnswer> answer)
    {
        m_nextPlotSize = std::move(answer);
    }
    // Runs inside every processEvents(), standing in for events the user queued meanwhile.
    void setOnProcessEvents(std::function<void(int call)> hook)
    {
        m_onProcessEvents = std::move(hook);
    }

    QList<Message> messages;
    QList<OpenFileRequest> openRequests;
    QList<SaveFileRequest> saveRequests;
    QList<PlotSizeRequest> plotSizeRequests;
    // "message", "beep", "events", "end", "open", "save", "plot size", in call order.
    QStringList calls;
    int beeps = 0;
    int eventPasses = 0;

private:
    bool m_endRequested = false;
    QString m_nextOpenFile;
    QString m_nextSaveFile;
    std::optional<PlotSizeAnswer> m_nextPlotSize;
    std::function<void(int)> m_onProcessEvents;
};

} // namespace kelviq
