#include "platform/OpenFileDialog.h"
#include "platform/PlotSizeDialog.h"
#include "platform/QtPlatformServices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace kelviq;

class TestQtPlatformServices : public QObject
{
    Q_OBJECT

private slots:
    void dialogFilters_data();
    void dialogFilters();
    void plotSizeChoices();
    void typedNamesOpenWhateverTheFilter_data();
    void typedNamesOpenWhateverTheFilter();
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

// "Set Lines Thick to match" follows the window's advice for each length typed until the user
// ticks or clears it; the stated size's button fills in the length.
void TestQtPlatformServices::plotSizeChoices()
{
    PlotSizeRequest request;
    request.number = "10";
    request.units = {"mm", "mil", "in"};
    request.stated = PlotSizeChoice{"Own size", PlotSide::Height, "2.5", 2};
    request.matchThickness = [](PlotSide, const QString& length) { return length == "30mm"; };
    PlotSizeDialog dialog(request);
    auto* number = dialog.findChild<QLineEdit*>();
    auto* match = dialog.findChild<QCheckBox*>("matchThickness");
    QVERIFY(!match->isChecked());
    number->setText("30");
    QVERIFY(match->isChecked());
    number->setText("20");
    QVERIFY(!match->isChecked());
    QTest::mouseClick(match, Qt::LeftButton, {}, QPoint(4, match->height() / 2));
    number->setText("40");
    QVERIFY(match->isChecked()); // as the user left it
    QTest::mouseClick(dialog.findChild<QPushButton*>("statedSize"), Qt::LeftButton);
    const PlotSizeAnswer answer = dialog.answer();
    QCOMPARE(answer.side, PlotSide::Height);
    QCOMPARE(answer.length, QString("2.5in"));
    QVERIFY(answer.matchThickness);
}

void TestQtPlatformServices::typedNamesOpenWhateverTheFilter_data()
{
    QTest::addColumn<QString>("typed");  // "@" stands for the folder of the pictures
    QTest::addColumn<bool>("pasted");    // at once, else key by key
    QTest::addColumn<QString>("opened"); // empty: the dialog stays open

    QTest::newRow("full path, pasted") << "@/pics/large.png" << true << "pics/large.png";
    QTest::newRow("full path elsewhere, pasted")
        << "@/other/photo.jpg" << true << "other/photo.jpg";
    QTest::newRow("full path, typed") << "@/pics/large.png" << false << "pics/large.png";
    QTest::newRow("full path elsewhere, typed")
        << "@/other/photo.jpg" << false << "other/photo.jpg";
    QTest::newRow("name in the folder") << "large.png" << false << "pics/large.png";
    QTest::newRow("relative path") << "../other/photo.jpg" << false << "other/photo.jpg";
    QTest::newRow("a bitmap, as ever") << "logo.bmp" << false << "pics/logo.bmp";
    QTest::newRow("a folder changes to it") << "@/other" << true << "";
}

// With the bitmap filter chosen, Return on the name of an existing file opens that file, also
// when it is typed before the dialog has listed its folder (Qt's dialog then went by the
// folders the name passed through, or by a file chosen in it before).
void TestQtPlatformServices::typedNamesOpenWhateverTheFilter()
{
    QFETCH(QString, typed);
    QFETCH(bool, pasted);
    QFETCH(QString, opened);

    // One folder for every row, as one program's dialogs see the same files.
    static QTemporaryDir dir;
    for (const char* name : {"pics/logo.bmp", "pics/large.png", "other/photo.jpg"}) {
        QVERIFY(QDir(dir.path()).mkpath(QFileInfo(name).path()));
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    OpenFileRequest request;
    request.filters = {"All Files (*.*)", "BMP Files(*.bmp)"};
    request.selectedFilter = 1;
    request.directory = dir.filePath("pics");
    OpenFileDialog dialog(request);
    dialog.show(); // typed at once
    auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
    name->setFocus();
    typed.replace('@', dir.path());
    if (pasted)
        name->setText(typed);
    else
        QTest::keyClicks(name, typed);
    QTest::keyClick(name, Qt::Key_Return);
    if (opened.isEmpty()) {
        QVERIFY(dialog.isVisible());
        return;
    }
    QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.chosenFile(), dir.filePath(opened));
}

QTEST_MAIN(TestQtPlatformServices)
#include "tst_qtplatformservices.moc"
