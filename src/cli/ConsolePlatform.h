#pragma once

#include "PlatformServices.h"

namespace kelviq {

// Platform services for the headless converter: messages go to standard error as one line.
class ConsolePlatform : public PlatformServices
{
public:
    void showMessage(const QString& text, const QString& title, MessageIcon icon) override;
    void beep() override {}
    void processEvents() override {}
    void end() override { m_endRequested = true; }
    bool endRequested() const override { return m_endRequested; }
    QString chooseOpenFile(const OpenFileRequest&) override { return {}; }

private:
    bool m_endRequested = false;
};

} // namespace kelviq
