#pragma once

#include "picture/FormatCheck.h"

#include <QByteArray>
#include <QString>

namespace kelviq {

// Netpbm files (PBM, PGM, PPM; as text or raw): the size their header claims, and whether the
// whole file holds every value. Qt's reader takes a cut or garbled file for a whole one.
class PnmCheck
{
public:
    // The claim of the header at the start of head.
    static FormatCheck::Claim claim(const QByteArray& head);
    // The reason the whole file (as far as it was read) cannot be used, or empty.
    static QString problem(const QByteArray& data);
};

} // namespace kelviq
