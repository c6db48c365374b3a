#include "cli/ConsolePlatform.h"

#include "output/DisplayName.h"

#include <cstdio>

namespace kelviq {

void ConsolePlatform::showMessage(const QString& text, const QString&, MessageIcon)
{
    std::fprintf(stderr, "%s\n", lineFor(text).toLocal8Bit().constData());
}

QString ConsolePlatform::lineFor(const QString& text)
{
    // Messages break their lines with carriage returns, as message boxes want them.
    const QStringList parts = text.split(QLatin1Char('\r'), Qt::SkipEmptyParts);
    return QStringLiteral("kelviq-convert: ") + displayName(parts.join(QLatin1Char(' ')));
}

} // namespace kelviq
