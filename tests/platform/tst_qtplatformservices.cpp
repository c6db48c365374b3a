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
    void openDialogFilters_data();
    void openDialogFilters();
    void openDialogShowsTheFilterTextsAsGiven();
};

void TestQtPlatformServices::openDialogFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("listed");

    const QStringList everything = {"Logo.BMP", "logo.bmp", "noext", "photo.png"};
    QTest::newRow("all files") << "All Files (*.*)" << everything;
    QTest::newRow("bitmaps, either case")
        << "BMP Files(*.bmp)" << QStringList({"Logo.BMP", "logo.bmp"});
    QTest::newRow("several patterns")
        << "Pictures (*.bmp *.png)" << QStringList({"Logo.BMP", "logo.bmp", "photo.png"});
    QTest::newRow("no patterns") << "Anything" << everything;
}

// What the dialog lists under each filter, the way it reads patterns from a filter.
void TestQtPlatformServices::openDialogFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, listed);

    QTemporaryDir dir;
    for (const char* name : {"logo.bmp", "Logo.BMP", "noext", "photo.png"}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString shown = QtPlatformServices::dialogFilter(filter);
    QVERIFY(shown.startsWith(filter));
    static const QRegularExpression lastGroup(QStringLiteral("\\(([^()]*)\\)$"));
    const QRegularExpressionMatch match = lastGroup.match(shown);
    const QStringList patterns =
        match.hasMatch() ? match.captured(1).split(' ', Qt::SkipEmptyParts) : QStringList{"*"};
    QDir folder(dir.path());
    folder.setSorting(QDir::Name);
    QCOMPARE(folder.entryList(patterns, QDir::Files), listed);
}

// With the details hidden the dialog shows each text exactly as the window asked for it.
void TestQtPlatformServices::openDialogShowsTheFilterTextsAsGiven()
{
    const QStringList texts = {"All Files (*.*)", "BMP Files(*.bmp)"};
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    QStringList filters;
    for (const QString& text : texts)
        filters.append(QtPlatformServices::dialogFilter(text));
    dialog.setNameFilters(filters);
    auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
    QVERIFY(types);
    QStringList shown;
    for (int i = 0; i < types->count(); ++i)
        shown.append(types->itemText(i));
    QCOMPARE(shown, texts);
}

QTEST_MAIN(TestQtPlatformServices)
#include "tst_qtplatformservices.moc"
