#pragma once

#include "platform/PlatformServices.h"

#include <QCoreApplication>
#include <cstdio>

// The window's platform for timing: real event processing, no modal boxes, and an open
// dialog that always answers with the given picture.
class BenchPlatform : public kelviq::PlatformServices
{
public:
    explicit BenchPlatform(QString picture) : m_picture(std::move(picture)) {}

    void showMessage(const QString& text, const QString&, kelviq::MessageIcon) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text.simplified()));
    }
    void beep() override {}
    void processEvents() override { QCoreApplication::processEvents(); }
    void end() override { m_ended = true; }
    bool endRequested() const override { return m_ended; }
    QString chooseOpenFile(const kelviq::OpenFileRequest&) override { return m_picture; }

private:
    QString m_picture;
    bool m_ended = false;
};
