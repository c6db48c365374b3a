#include "FormFixture.h"

#include <QMimeData>

class TestForm1Picture : public QObject, protected FormFixture
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup() { stop(); }

    void refusedOrCancelledKeepsThePicture_data();
    void refusedOrCancelledKeepsThePicture();
    void droppedAndGivenPicturesLoadLikeChosenOnes();
    void statusTexts_data();
    void statusTexts();
    void setPlotSize_data();
    void setPlotSize();
    void endingDuringARunKeepsThePreviousPlot_data();
    void endingDuringARunKeepsThePreviousPlot();
};

void TestForm1Picture::refusedOrCancelledKeepsThePicture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // null: no such file

    QTest::newRow("not a picture") << "notes.bmp" << QByteArray("just some text\n");
    QTest::newRow("missing") << "gone.bmp" << QByteArray();
    QTest::newRow("cancelled") << "" << QByteArray();
}

// A file that is not a picture is refused with a message saying why, and cancelling the dialog
// does nothing: either way the picture, its file name, caption, layout and folder stay.
void TestForm1Picture::refusedOrCancelledKeepsThePicture()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);

    const QString good = savePicture("good.bmp", numbered(50, 700));
    choose(good);
    QDir::setCurrent(QDir::tempPath());
    const QString bad = name.isEmpty() ? QString() : m_dir->filePath(name);
    if (!content.isNull())
        QVERIFY(writeFile(bad, content));
    choose(bad);

    // The dialog asks for bitmaps first.
    QCOMPARE(m_platform->openRequests.last().filters,
             QStringList({"All Files (*.*)", "BMP Files(*.bmp)"}));
    QCOMPARE(m_platform->openRequests.last().selectedFilter, 1);
    QCOMPARE(m_platform->messages.size(), bad.isEmpty() ? 0 : 1);
    if (!bad.isEmpty()) {
        QCOMPARE(m_platform->messages[0].icon, MessageIcon::Critical);
        QVERIFY2(m_platform->messages[0].text.contains(bad + ": "),
                 qPrintable(m_platform->messages[0].text));
    }
    QVERIFY(!QGuiApplication::overrideCursor()); // the wait cursor is gone again
    QCOMPARE(m_form->FileName(), good);
    QCOMPARE(m_form->windowTitle(), "KELVIQ converter - " + good);
    QVERIFY(m_form->BigPicture());
    QCOMPARE(picture1()->size(), QSize(50, 630));
    QCOMPARE(picture1()->Point(49, 699), colorValueFromRgb(numberedRgb(49, 699)));
    QCOMPARE(QDir::currentPath(), QDir(QDir::tempPath()).canonicalPath());
}

// A picture dropped on the window or named at start-up goes the dialog's way: the same checks,
// caption and current folder, and the dialog then starts in its folder.
void TestForm1Picture::droppedAndGivenPicturesLoadLikeChosenOnes()
{
    const QString first = savePicture("first.bmp", numbered(5, 4));
    const QString second = savePicture("second.bmp", numbered(6, 4));
    QVERIFY(writeFile(m_dir->filePath("bad.bmp"), "not a picture"));

    const auto drop = [&](const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(m_form.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent dropped(QPointF(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(m_form.get(), &dropped);
    };
    drop(first);
    QCOMPARE(m_form->FileName(), first);
    QCOMPARE(m_form->windowTitle(), "KELVIQ converter - " + first);
    QCOMPARE(QDir::currentPath(), QDir(m_dir->path()).canonicalPath());
    QCOMPARE(picture1()->picture().width(), 5);

    drop(m_dir->filePath("bad.bmp"));
    QCOMPARE(m_platform->messages.size(), 1);
    QVERIFY(m_platform->messages[0].text.contains(m_dir->filePath("bad.bmp")));
    QCOMPARE(m_form->FileName(), first);

    QDir::setCurrent(QDir::tempPath());
    m_form->openFiles({second, first, "third.png"});
    QCOMPARE(m_form->FileName(), second);
    QCOMPARE(QDir::currentPath(), QDir(m_dir->path()).canonicalPath());
    QCOMPARE(status("StatusRun"), "Opened " + second +
                                      "; one picture at a time, so these were ignored: " + first +
                                      ", third.png");

    choose(QString());
    QCOMPARE(m_platform->openRequests.last().directory, m_dir->path());
}

void TestForm1Picture::statusTexts_data()
{
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QString>("thickness");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("advice");
    QTest::addColumn<QString>("run"); // how the status line starts to tell of a run

    const QString written = "1 segment written to ";
    QTest::newRow("gaps") << "2"
                          << "1.5"
                          << "plot 1000 × 500 mils (25.4 × 12.7 mm)"
                          << "Gaps of 0.5 mils between rows: lines thinner than the pixel pitch"
                             "   Thinner than 5 mils (0.127 mm): finer than many board makers "
                             "print on silkscreen"
                          << written;
    QTest::newRow("matching") << "6"
                              << "6"
                              << "plot 3000 × 1500 mils (76.2 × 38.1 mm)"
                              << "" << written;
    QTest::newRow("fraction") << "0.1"
                              << "5"
                              << "plot 50 × 25 mils (1.27 × 0.635 mm)"
                              << "Rows 4.9 mils taller than their pixels: the artwork grows 2.45 "
                                 "mils at top and bottom"
                              << written;
    QTest::newRow("not numbers") << "2,5"
                                 << "x"
                                 << "scale \"2,5\" is not a number"
                                 << "thickness \"x\" is not a number"
                                 << "The scale \"2,5\" is not a number. Type the size of one "
                                    "pixel in mils, for example 2 or 0.5.";
}

void TestForm1Picture::statusTexts()
{
    QFETCH(QString, scale);
    QFETCH(QString, thickness);
    QFETCH(QString, size);
    QFETCH(QString, advice);
    QFETCH(QString, run);

    QCOMPARE(status("StatusFacts"), QString("No picture   #000000"));
    QVERIFY(!action("exportGerber")->isEnabled());
    QImage image(500, 250, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(7, 7, qRgb(0x12, 0xab, 0xef));
    choose(savePicture("wide.bmp", image));
    click(QPoint(7, 7));
    type("Text1", scale);
    type("Text2", thickness);
    QCOMPARE(countedSegments(), 1);
    QCOMPARE(status("StatusFacts"), "500 × 250 pixels   " + size + "   #12ABEF   1 segment");
    QCOMPARE(status("StatusAdvice"), advice);
    QCOMPARE(m_form->findChild<ColorSwatch*>("Shape1")->toolTip(), QString("#12ABEF"));
    QTest::mouseClick(button("Command1"), Qt::LeftButton);
    QVERIFY2(status("StatusRun").startsWith(run), qPrintable(status("StatusRun")));
}

void TestForm1Picture::setPlotSize_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<int>("side"); // -1: cancelled
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("scale"); // the box afterwards
    QTest::addColumn<QString>("start"); // the width in mm the dialog starts from

    QTest::newRow("25 mm wide") << QSize(500, 40) << int(PlotSide::Width) << "25mm"
                                << "1.96850393700787"
                                << "25.4";
    QTest::newRow("1 in high") << QSize(30, 200) << int(PlotSide::Height) << "1in"
                               << "5"
                               << "1.524";
    QTest::newRow("cancelled") << QSize(30, 20) << -1 << "" << "2" << "1.524";
}

// The dialog starts from the plot's width now and tells the scale an answer gives; OK writes
// that scale into the box, showing its first digits.
void TestForm1Picture::setPlotSize()
{
    QFETCH(QSize, picture);
    QFETCH(int, side);
    QFETCH(QString, length);
    QFETCH(QString, scale);
    QFETCH(QString, start);

    QImage image(picture, QImage::Format_RGB32);
    image.fill(Qt::white);
    choose(savePicture("sized.bmp", image));
    if (side >= 0)
        m_platform->setNextPlotSizeAnswer(PlotSizeAnswer{PlotSide(side), length});
    action("setPlotSize")->trigger();

    QCOMPARE(m_platform->plotSizeRequests.size(), 1);
    const PlotSizeRequest request = m_platform->plotSizeRequests.first();
    QCOMPARE(request.number, start);
    if (side >= 0) {
        QVERIFY(request.acceptable(PlotSide(side), length));
        QVERIFY2(request.describe(PlotSide(side), length).contains(scale + " mils"),
                 qPrintable(request.describe(PlotSide(side), length)));
    }
    QVERIFY(!request.acceptable(PlotSide::Width, "25"));
    QVERIFY(request.describe(PlotSide::Width, "2,5mm").contains("not a number"));
    QCOMPARE(box("Text1")->text(), scale);
    QCOMPARE(box("Text1")->cursorPosition(), 0);
}

void TestForm1Picture::endingDuringARunKeepsThePreviousPlot_data()
{
    QTest::addColumn<bool>("byButton");
    QTest::newRow("4 - Bye") << true;
    QTest::newRow("closing the window") << false;
}

// In the middle of a run the hourglass stands in for the button and Export is greyed out;
// ending then drops the unfinished plot, keeps the earlier out.plt and says nothing.
void TestForm1Picture::endingDuringARunKeepsThePreviousPlot()
{
    QFETCH(bool, byButton);

    QImage image(20, 300, QImage::Format_RGB32);
    image.fill(Qt::black);
    choose(savePicture("long.bmp", image));
    QVERIFY(writeFile(m_dir->filePath("out.plt"), "old plot"));

    QStringList seen;
    m_platform->setOnProcessEvents([&](int call) {
        if (call != 40)
            return;
        seen << (button("Command1")->isVisible() ? "shown" : "hidden")
             << (m_form->findChild<QLabel*>("Image1_1")->isVisible() ? "busy" : "idle")
             << (action("exportSvg")->isEnabled() ? "export" : "no export");
        if (byButton)
            QTest::mouseClick(button("Command3"), Qt::LeftButton);
        else
            m_form->close();
    });
    QTest::mouseClick(button("Command1"), Qt::LeftButton);

    QCOMPARE(seen, QStringList({"hidden", "busy", "no export"}));
    QCOMPARE(m_form->lastRun().outcome, RunOutcome::Abandoned);
    QCOMPARE(m_platform->eventPasses, 40);
    QCOMPARE(m_platform->beeps, 0);
    QVERIFY(m_platform->messages.isEmpty());
    QVERIFY(m_platform->endRequested());
    QCOMPARE(readFile(m_dir->filePath("out.plt")), QByteArray("old plot"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList({"long.bmp", "out.plt"}));
    QVERIFY(!m_form->isVisible());
}

QTEST_MAIN(TestForm1Picture)
#include "tst_form1picture.moc"
