#include "FormFixture.h"

#include <QApplication>
#include <QMainWindow>
#include <QMimeData>
#include <QStatusBar>

// The window's layout, keys, loading, status line, Set Plot Size and ending during a run.
class TestForm1 : public QObject, protected FormFixture
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup() { stop(); }

    void controlsFollowTheBottomEdge_data();
    void controlsFollowTheBottomEdge();
    void keyboard();
    void loadingPictures();
    void statusTexts_data();
    void statusTexts();
    void setPlotSize_data();
    void setPlotSize();
    void endingDuringARunKeepsThePreviousPlot_data();
    void endingDuringARunKeepsThePreviousPlot();
};

void TestForm1::controlsFollowTheBottomEdge_data()
{
    QTest::addColumn<QSize>("asked");
    QTest::addColumn<QSize>("inner");
    QTest::addColumn<QSize>("picture"); // empty: none, else chosen at the start size
    QTest::addColumn<QSize>("area");

    QTest::newRow("larger") << QSize(1500, 1000) << QSize(1500, 1000) << QSize()
                            << QSize(1476, 905);
    QTest::newRow("smaller than the minimum")
        << QSize(600, 400) << QSize(1024, 725) << QSize() << QSize(1000, 630);
    QTest::newRow("too narrow only, small picture")
        << QSize(900, 800) << QSize(1024, 800) << QSize(40, 30) << QSize(40, 30);
    QTest::newRow("picture exactly fitting")
        << QSize(1200, 900) << QSize(1200, 900) << QSize(1000, 630) << QSize(1000, 630);
    QTest::newRow("picture a row too tall")
        << QSize(1200, 900) << QSize(1200, 900) << QSize(1000, 631) << QSize(1176, 805);
    QTest::newRow("picture a column too wide")
        << QSize(1200, 900) << QSize(1200, 900) << QSize(1001, 20) << QSize(1176, 805);
}

// The original controls keep their places measured from the bottom edge; the tracing options
// lie in the free space between the frame and "3 - Make out.plt", apart from each other, the
// status line below the client area. Every caption reads whole up to the control on its right.
// A picture that fits the room (1000 × 630 at the start) keeps its size; a larger one makes the
// area take the room and follow the window.
void TestForm1::controlsFollowTheBottomEdge()
{
    QFETCH(QSize, asked);
    QFETCH(QSize, inner);
    QFETCH(QSize, picture);
    QFETCH(QSize, area);

    if (picture.isValid()) {
        QImage image(picture, QImage::Format_RGB32);
        image.fill(Qt::white);
        choose(savePicture("fit.bmp", image));
    }
    const QSize frame = m_form->size() - QSize(m_form->ScaleWidth(), m_form->ScaleHeight());
    m_form->resize(QSize(1400, 900) + frame); // from somewhere else than the start
    m_form->resize(asked + frame);
    QTRY_COMPARE(QSize(m_form->ScaleWidth(), m_form->ScaleHeight()), inner);

    const int h = inner.height();
    const auto at = [&](const char* name) { return m_form->findChild<QWidget*>(name)->geometry(); };
    QCOMPARE(at("Command1"), QRect(784, h - 69, 105, 57));
    QCOMPARE(at("Command2"), QRect(16, h - 69, 121, 57));
    QCOMPARE(at("Command3"), QRect(904, h - 69, 105, 57));
    QCOMPARE(at("Frame1"), QRect(152, h - 69, 385, 57));
    QCOMPARE(at("Image1_0"), QRect(808, h - 80, 65, 71));
    QCOMPARE(at("Image1_1"), QRect(808, h - 80, 65, 71));
    QCOMPARE(at("Picture1"), QRect(QPoint(8, 8), area));
    const QRect space(537, h - 69, 784 - 537, 57);
    QList<QRect> taken;
    for (QWidget* option : m_form->findChild<QWidget*>("TraceOptions")
                               ->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QRect place(option->mapTo(m_form->centralWidget(), QPoint(0, 0)), option->size());
        QVERIFY2(space.contains(place), qPrintable(option->objectName()));
        for (const QRect& other : taken)
            QVERIFY(!other.intersects(place));
        taken.append(place);
    }
    QCOMPARE(taken.size(), 5);
    QCOMPARE(m_form->statusBar()->geometry().top(),
             m_form->centralWidget()->geometry().bottom() + 1);

    for (QLabel* label : m_form->findChild<QWidget*>("Frame1")->findChildren<QLabel*>() +
                             m_form->findChild<QWidget*>("TraceOptions")->findChildren<QLabel*>()) {
        int room = label->width();
        for (QWidget* other :
             label->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!qobject_cast<QLabel*>(other) && other->x() > label->x() &&
                other->geometry().top() <= label->geometry().bottom() &&
                other->geometry().bottom() >= label->geometry().top())
                room = std::min(room, other->x() - label->x());
        }
        const QFontMetrics metrics = label->fontMetrics();
        QVERIFY2(metrics.horizontalAdvance(label->text().trimmed()) < room,
                 qPrintable(label->text()));
        QVERIFY(label->font().pixelSize() >= 9);
    }
    for (QPushButton* button : m_form->findChildren<QPushButton*>())
        QVERIFY(button->fontMetrics().horizontalAdvance(button->text()) + 8 <= button->width());
}

// Tab goes through the controls in this order and back to the start; Enter presses the focused
// button, as Space does; a number box shows its first digit again when left.
void TestForm1::keyboard()
{
    QStringList order;
    picture1()->setFocus();
    for (int i = 0; i < 10; ++i) {
        order.append(QApplication::focusWidget()->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order.join(' '), QString("Picture1 Command1 Command2 Text1 Text2 tolerance specks "
                                      "invert Command3 Picture1"));

    QTest::keyClick(button("Command1"), Qt::Key_Return);
    // No picture chosen: the run's words, in the box every run's failure comes in.
    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages[0].text, ConversionRun::noPictureText());
    QCOMPARE(m_platform->messages[0].title, QStringLiteral("KELVIQ"));
    QCOMPARE(m_platform->messages[0].icon, MessageIcon::Critical);
    QTest::keyClick(button("Command2"), Qt::Key_Enter);
    QCOMPARE(m_platform->openRequests.size(), 1);

    for (const char* name : {"Text1", "Text2"}) {
        box(name)->setFocus();
        type(name, "12.7500001");
        button("Command3")->setFocus();
        QCOMPARE(box(name)->text(), QString("12.7500001"));
        const QRect cursor = box(name)->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        QVERIFY2(cursor.left() < box(name)->fontMetrics().horizontalAdvance("1"), name);
    }
}

// A picture chosen, dropped on the window or named at start-up loads the same way: caption,
// current folder (out.plt goes there), and the dialog then starts in its folder. A file that is
// not a picture is refused with a message saying why, and cancelling the dialog does nothing:
// either way the picture shown before, its name, caption, layout and folder stay.
void TestForm1::loadingPictures()
{
    const QString tall = savePicture("tall.bmp", numbered(50, 700));
    const QString second = savePicture("second.bmp", numbered(6, 4));
    QVERIFY(QDir(m_dir->path()).mkdir("other"));
    const QString bad = m_dir->filePath("other/bad.bmp");
    QVERIFY(writeFile(bad, "not a picture"));
    const auto drop = [&](const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(m_form.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent dropped(QPointF(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(m_form.get(), &dropped);
    };
    const QString folder = QDir(m_dir->path()).canonicalPath();
    for (int step = 0; step < 4; ++step) {
        if (step == 0)
            drop(tall);
        else
            step == 1 ? drop(bad) : choose(step == 2 ? bad : QString());
        QCOMPARE(m_platform->messages.size(), std::min(step, 2));
        QCOMPARE(m_form->FileName(), tall);
        QCOMPARE(m_form->windowTitle(), "KELVIQ converter - " + tall);
        QVERIFY(m_form->BigPicture());
        QCOMPARE(picture1()->size(), QSize(50, 630));
        QCOMPARE(picture1()->Point(49, 699), colorValueFromRgb(qRgb(49, 699 % 256, 699 / 256)));
        QCOMPARE(QDir::currentPath(), folder);
    }
    for (const RecordingPlatform::Message& message : m_platform->messages) {
        QCOMPARE(message.icon, MessageIcon::Critical);
        QVERIFY2(message.text.contains(bad + ": "), qPrintable(message.text));
    }
    QVERIFY(!QGuiApplication::overrideCursor()); // the wait cursor is gone again

    QDir::setCurrent(QDir::tempPath());
    m_form->openFiles({second, tall, "third.png"});
    QCOMPARE(m_form->FileName(), second);
    QCOMPARE(QDir::currentPath(), folder);
    QCOMPARE(status("StatusRun"), "Opened " + second +
                                      "; one picture at a time, so these were ignored: " + tall +
                                      ", third.png");
    choose(QString());
    QCOMPARE(m_platform->openRequests.last().directory, m_dir->path());

    // A photo taken turned is shown upright, and the status line says so until the next one.
    m_form->openFiles({QStringLiteral(KELVIQ_SOURCE_DIR "/tests/picture/data/orient-6.jpg")});
    QCOMPARE(picture1()->picture().width(), 20);
    QCOMPARE(status("StatusRun"), "Turned as its EXIF orientation says.");
    m_form->openFiles({second});
    QCOMPARE(status("StatusRun"), QString());
}

void TestForm1::statusTexts_data()
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
    QTest::newRow("no plot can be made") << "0"
                                         << "10"
                                         << "plot 0 × 0 mils (0 × 0 mm)"
                                         << ""
                                         << "The scale \"0\" must be more than 0. Type the size "
                                            "of one pixel in mils, for example 2 or 0.5.";
}

void TestForm1::statusTexts()
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
    QVERIFY(writeFile(m_dir->filePath("out.plt"), "old plot"));
    QTest::mouseClick(button("Command1"), Qt::LeftButton);
    QVERIFY2(status("StatusRun").startsWith(run), qPrintable(status("StatusRun")));
    // A run refused is told, and the plot before it stays.
    QCOMPARE(readFile(m_dir->filePath("out.plt")) == "old plot", !run.contains(" written to "));
}

void TestForm1::setPlotSize_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<int>("side");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("scale");

    QTest::newRow("25 mm wide") << QSize(500, 40) << int(PlotSide::Width) << "25mm"
                                << "1.96850393700787";
    QTest::newRow("1 in high") << QSize(30, 200) << int(PlotSide::Height) << "1in"
                               << "5";
}

// The dialog starts from the plot's width now and tells the scale an answer gives; OK writes
// that scale into the box, showing its first digits; cancelling changes nothing.
void TestForm1::setPlotSize()
{
    QFETCH(QSize, picture);
    QFETCH(int, side);
    QFETCH(QString, length);
    QFETCH(QString, scale);

    QImage image(picture, QImage::Format_RGB32);
    image.fill(Qt::white);
    choose(savePicture("sized.bmp", image));
    m_platform->setNextPlotSizeAnswer(PlotSizeAnswer{PlotSide(side), length});
    action("setPlotSize")->trigger();
    const PlotSizeRequest request = m_platform->plotSizeRequests.first();
    QCOMPARE(request.number, QString::number(picture.width() * 2 * 0.0254));
    QVERIFY(request.acceptable(PlotSide(side), length));
    QVERIFY(!request.acceptable(PlotSide::Width, "25"));
    QVERIFY2(request.describe(PlotSide(side), length).contains(scale + " mils"),
             qPrintable(request.describe(PlotSide(side), length)));
    QCOMPARE(box("Text1")->text(), scale);
    QCOMPARE(box("Text1")->cursorPosition(), 0);
    action("setPlotSize")->trigger();
    QCOMPARE(m_platform->plotSizeRequests.size(), 2);
    QCOMPARE(box("Text1")->text(), scale);
}

void TestForm1::endingDuringARunKeepsThePreviousPlot_data()
{
    QTest::addColumn<bool>("byButton");
    QTest::newRow("4 - Bye") << true;
    QTest::newRow("closing the window") << false;
}

// In the middle of a run the hourglass stands in for the button and Export is greyed out;
// ending then drops the unfinished plot, keeps the earlier out.plt and says nothing.
void TestForm1::endingDuringARunKeepsThePreviousPlot()
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

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
