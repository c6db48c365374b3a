#pragma once

#include "picture/FormatCheck.h"

#include <QByteArray>
#include <QString>

namespace kelviq {

// XPM files, C source: the size their values line claims, and whether the whole file holds
// every colour and row. Qt's reader takes a cut or garbled file for a whole one.
class XpmCheck
{
public:
    // The claim of the values line at the start of head.
    static FormatCheck::Claim claim(const QByteArray& head);
    // The reason the whole file (as far as it was read) cannot be used, or empty.
    static QString problem(const QByteArray& data);
};

} // namespace kelviq
