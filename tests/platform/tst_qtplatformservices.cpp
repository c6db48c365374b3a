#include "platform/QtPlatformServices.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTemporaryDir>
#include <QTest>

using namespace kelviq;

class TestQtPlatformServices : public QObject
{
    Q_OBJECT

private slots:
    void dialogFilters_data();
    void dialogFilters();
};

void TestQtPlatformServices::dialogFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("all files") << "All Files (*.*)"
                               << QStringList({"Logo.BMP", "logo.bmp", "noext", "photo.png"});
    QTest::newRow("bitmaps, either case")
        << "BMP Files(*.bmp)" << QStringList({"Logo.BMP", "logo.bmp"});
    QTest::newRow("several patterns")
        << "Pictures (*.bmp *.png)" << QStringList({"Logo.BMP", "logo.bmp", "photo.png"});
}

// The file dialog shows each filter's text as the window asked for it and filters by patterns
// that list the files the text promises: "*.*" every file, extensions in either case.
void TestQtPlatformServices::dialogFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, listed);

    QTemporaryDir dir;
    for (const char* name : {"logo.bmp", "Logo.BMP", "noext", "photo.png"}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(QtPlatformServices::dialogFilter(filter));
    QCOMPARE(dialog.findChild<QComboBox*>("fileTypeCombo")->currentText(), filter);
    const QStringList patterns = dialog.findChild<QFileSystemModel*>()->nameFilters();
    QCOMPARE(QDir(dir.path()).entryList(patterns, QDir::Files | QDir::CaseSensitive, QDir::Name),
             listed);
}

QTEST_MAIN(TestQtPlatformServices)
#include "tst_qtplatformservices.moc"
