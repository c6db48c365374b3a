// Linked into every test program: Qt's settings, caches and the file dialog's history go to
// Qt's test locations, never to the user's own.
#include <QStandardPaths>
#include <QtGlobal>

namespace {

void useTestLocations()
{
    QStandardPaths::setTestModeEnabled(true);
}

} // namespace

Q_CONSTRUCTOR_FUNCTION(useTestLocations)
