#include "QtPlatformServices.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QRegularExpression>
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

// The file dialog shows each filter's text as the window asked for it and lists the files the
// text promises: "*.*" every file, extensions in either case.
void TestQtPlatformServices::dialogFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, listed);

    QTemporaryDir dir;
    for (const char* name : {"logo.bmp", "Logo.BMP", "noext", "photo.png"}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QFileDialog dialog(nullptr, QString(), dir.path());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters({QtPlatformServices::dialogFilter(filter)});
    QCOMPARE(dialog.findChild<QComboBox*>("fileTypeCombo")->itemText(0), filter);
    // The patterns are read from the last group in brackets, as the dialog reads them.
    static const QRegularExpression lastGroup(QStringLiteral("\\(([^()]*)\\)$"));
    const QRegularExpressionMatch match = lastGroup.match(dialog.nameFilters().constFirst());
    QVERIFY(match.hasMatch());
    QCOMPARE(QDir(dir.path()).entryList(match.captured(1).split(' '), QDir::Files, QDir::Name),
             listed);
}

QTEST_MAIN(TestQtPlatformServices)
#include "tst_qtplatformservices.moc"
