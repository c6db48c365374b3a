#include "cli/ConsolePlatform.h"

#include "output/DisplayName.h"

namespace kelviq {

void ConsolePlatform::showMessage(const QString& text, const QString&, MessageIcon)
{
    m_lines.append(lineFor(text));
}

QString ConsolePlatform::lineFor(const QString& text)
{
    // Messages break their lines with carriage returns, as message boxes want them.
    const QStringList parts = text.split(QLatin1Char('\r'), Qt::SkipEmptyParts);
    return QStringLiteral("kelviq-convert: ") + displayName(parts.join(QLatin1Char(' ')));
}

} // namespace kelviq
