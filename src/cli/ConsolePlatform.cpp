#include "ConsolePlatform.h"

#include <cstdio>

namespace kelviq {

void ConsolePlatform::showMessage(const QString& text, const QString&, MessageIcon)
{
    QString line = text.simplified(); // carriage returns become blanks: one line per message
    std::fprintf(stderr, "kelviq-convert: %s\n", line.toLocal8Bit().constData());
}

} // namespace kelviq
