#pragma once

#include <QByteArray>
#include <QString>

namespace kelviq {

// A file name as messages show it: on one line, whatever it holds. Control characters
// (line breaks, tabs, escape ...) are written as \n, \r, \t or \xNN.
QString displayName(const QString& name);
// The same for a name given as bytes, as the system hands it over: bytes that are not valid
// UTF-8 are written as \xNN.
QString displayName(const QByteArray& bytes);
// Whether the bytes are valid UTF-8, so that the name survives being held as text.
bool isValidUtf8(const QByteArray& bytes);

} // namespace kelviq
