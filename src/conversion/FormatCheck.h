#pragma once

#include <QByteArray>
#include <QString>

namespace kelviq {

// Checks for picture formats whose Qt reader reports success on a cut file: the XBM reader
// then leaves the missing rows undefined, the JPEG reader fills them with grey. Bitmap files
// have their own, fuller check.
class FormatCheck
{
public:
    // The reason a file of this format (as Qt names it: "jpeg", "xbm") cannot be used, in
    // words a user understands, or empty.
    static QString problem(const QByteArray& data, const QByteArray& format);
};

} // namespace kelviq
