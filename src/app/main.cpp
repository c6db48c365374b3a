#include "Form1.h"
#include "QtPlatformServices.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KELVIQ"));

    kelviq::QtPlatformServices platform;
    kelviq::Form1 form(platform);
    QApplication::setWindowIcon(form.windowIcon()); // the dialogs and message boxes too
    platform.setDialogParent(&form);
    form.show();
    return QApplication::exec();
}
