#pragma once

#include "platform/PlatformServices.h"

#include <QStringList>

namespace kelviq {

// Platform services for the headless converter: each message becomes one line for standard
// error, kept until the picture's conversion is over so that lines of pictures converted at
// the same time do not mix.
class ConsolePlatform : public PlatformServices
{
public:
    void showMessage(const QString& text, const QString& title, MessageIcon icon) override;
    void beep() override {}
    void processEvents() override {}
    void end() override { m_endRequested = true; }
    bool endRequested() const override { return m_endRequested; }
    QString chooseOpenFile(const OpenFileRequest&) override { return {}; }

    QStringList lines() const { return m_lines; }
    // A message as one line: its line breaks become blanks, other control characters are
    // shown escaped, and it starts with the program's name.
    static QString lineFor(const QString& text);

private:
    bool m_endRequested = false;
    QStringList m_lines;
};

} // namespace kelviq
