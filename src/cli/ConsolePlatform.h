#pragma once

#include "platform/PlatformServices.h"

#include <QStringList>

namespace kelviq {

// Platform services for the headless converter: no events to run, no one to ask, and a
// message is one line on standard error.
class ConsolePlatform : public PlatformServices
{
public:
    void showMessage(const QString& text, const QString& title, MessageIcon icon) override;
    void beep() override {}
    void processEvents() override {}
    void end() override { m_endRequested = true; }
    bool endRequested() const override { return m_endRequested; }
    QString chooseOpenFile(const OpenFileRequest&) override { return {}; }

    // A message as one line: its line breaks become blanks, other control characters are
    // shown escaped, and it starts with the program's name.
    static QString lineFor(const QString& text);

private:
    bool m_endRequested = false;
};

} // namespace kelviq
