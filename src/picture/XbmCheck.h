#pragma once

#include "picture/FormatCheck.h"

#include <QByteArray>
#include <QString>

namespace kelviq {

// XBM files, C source: the size their defines claim, and whether the whole file holds every
// byte of the rows. Qt's reader takes a cut or garbled file for a whole one.
class XbmCheck
{
public:
    // The claim of the defines at the start of head.
    static FormatCheck::Claim claim(const QByteArray& head);
    // The reason the whole file (as far as it was read) cannot be used, or empty.
    static QString problem(const QByteArray& data);
};

} // namespace kelviq
