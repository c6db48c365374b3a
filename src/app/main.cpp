#include "platform/QtPlatformServices.h"
#include "window/Form1.h"

#include <QApplication>
#include <csignal>

int main(int argc, char* argv[])
{
    // Past a file-size limit a write should fail and be reported, not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KELVIQ"));
    // Lets the desktop match the window to its menu entry and icon (Wayland's app id).
    QApplication::setDesktopFileName(QStringLiteral(KELVIQ_APP_ID));

    kelviq::QtPlatformServices platform;
    kelviq::Form1 form(platform);
    QApplication::setWindowIcon(form.windowIcon()); // the dialogs and message boxes too
    platform.setDialogParent(&form);
    form.show();
    // kelviq PICTURE opens it at start-up, as "1 - Select BMP file" would.
    form.openFiles(QApplication::arguments().mid(1));
    return QApplication::exec();
}
