#include "FormFixture.h"
#include "window/ElidedLabel.h"
#include "window/PlotSizeQuestion.h"
#include "window/StatusLine.h"

#include <QApplication>
#include <QMainWindow>
#include <QMimeData>
#include <QStatusBar>
#include <QWindow>
#include <sys/stat.h>

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
    void readingInTheBackground();
    void messagesComeOverTheShownWindow();
    void oddAndLongTextsStayOnOneLine();
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

    // The make button keeps the focus through its run, so Enter makes the plot again.
    choose(savePicture("dot.bmp", numbered(3, 2)));
    button("Command1")->setFocus();
    for (int run = 1; run <= 2; ++run) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(m_platform->beeps, run);
        QCOMPARE(QApplication::focusWidget(), button("Command1"));
    }

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
        waitForPicture();
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
    waitForPicture();
    QCOMPARE(m_form->FileName(), second);
    QCOMPARE(QDir::currentPath(), folder);
    QCOMPARE(status("StatusRun"), "Opened " + second +
                                      "; one picture at a time, so these were ignored: " + tall +
                                      ", third.png.");
    choose(QString());
    QCOMPARE(m_platform->openRequests.last().directory, m_dir->path());

    // A photo taken turned is shown upright, and the status line says so until the next one.
    m_form->openFiles({QStringLiteral(KELVIQ_SOURCE_DIR "/tests/picture/data/orient-6.jpg")});
    waitForPicture();
    QCOMPARE(picture1()->picture().width(), 20);
    QCOMPARE(status("StatusRun"), "Turned as its EXIF orientation says.");
    m_form->openFiles({second});
    waitForPicture();
    QCOMPARE(status("StatusRun"), QString());
}

// A picture that takes long to read (a pipe fed by the test) leaves the one shown before in
// place and usable; the status line says how far the reading got; Esc, or choosing another
// picture, stops it and keeps or shows the other.
void TestForm1::readingInTheBackground()
{
    const QImage first = numbered(8, 6);
    const QString firstPath = savePicture("first.bmp", first);
    choose(firstPath);
    const QString slow = m_dir->filePath("slow.bmp");
    QVERIFY(::mkfifo(QFile::encodeName(slow).constData(), 0600) == 0);
    const QByteArray picture = readFile(savePicture("big.bmp", numbered(300, 200)));

    for (const bool byEscape : {true, false}) {
        m_platform->setNextOpenFileAnswer(slow);
        QTest::mouseClick(button("Command2"), Qt::LeftButton);
        QVERIFY(m_form->loading());
        QFile feed(slow);
        QVERIFY(feed.open(QIODevice::WriteOnly)); // once the reader has opened it
        QCOMPARE(feed.write(picture.left(3000)), 3000);
        feed.flush();
        QTRY_COMPARE(status("StatusRun"), QString("Reading slow.bmp … 3.0 kB. Esc cancels."));
        click(QPoint(5, 4)); // the picture shown before picks as ever
        QCOMPARE(swatch(), colorValueFromRgb(first.pixel(5, 4)));
        if (byEscape) {
            QTest::keyClick(m_form.get(), Qt::Key_Escape);
            QCOMPARE(status("StatusRun"),
                     "Stopped reading " + slow + "; still showing " + firstPath + ".");
            QCOMPARE(m_form->FileName(), firstPath);
        } else {
            choose(savePicture("other.bmp", numbered(5, 5)));
            QCOMPARE(m_form->FileName(), m_dir->filePath("other.bmp"));
        }
        QVERIFY(!m_form->loading());
        feed.close(); // the stopped reader ends
    }
    QVERIFY(m_platform->messages.isEmpty());
}

// A picture named on the command line that cannot be read is told once the window is on the
// screen, over it.
void TestForm1::messagesComeOverTheShownWindow()
{
    Form1 form(*m_platform);
    form.openFiles({m_dir->filePath("missing.bmp")});
    QTRY_VERIFY(!form.loading());
    QCoreApplication::processEvents();
    QVERIFY(m_platform->messages.isEmpty());
    form.show();
    QTRY_COMPARE(m_platform->messages.size(), 1);
    QVERIFY(form.windowHandle()->isExposed());
    QVERIFY(m_platform->messages[0].text.contains("missing.bmp: the file does not exist"));
}

// A folder name with a line break shows escaped, on one line; a text longer than its place
// ends in "…" after a whole word, and its tooltip holds it whole.
void TestForm1::oddAndLongTextsStayOnOneLine()
{
    QVERIFY(QDir(m_dir->path()).mkdir("two\nlines"));
    QImage image(4, 1, QImage::Format_RGB32);
    image.fill(Qt::black);
    choose(savePicture("two\nlines/logo.bmp", image));
    QTest::mouseClick(button("Command1"), Qt::LeftButton);
    const QString run = status("StatusRun");
    QVERIFY2(run.contains("/two\\nlines/out.plt (") && !run.contains('\n'), qPrintable(run));

    auto* label = m_form->findChild<ElidedLabel*>("StatusRun");
    QCOMPARE(label->toolTip(), run);
    const QString shown = label->shown(label->fontMetrics().horizontalAdvance(run) / 2);
    QVERIFY2(shown.endsWith(QChar(0x2026)), qPrintable(shown));
    const QString kept = shown.chopped(1);
    QVERIFY(run.startsWith(kept));
    QVERIFY2(run.at(kept.size()) == ' ', qPrintable(shown)); // cut between words
}

void TestForm1::statusTexts_data()
{
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QString>("thickness");
    QTest::addColumn<bool>("pick");            // the blue pixel; else black, which is not there
    QTest::addColumn<quint32>("dotsPerMetre"); // what the picture states; 0: nothing
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("advice");
    QTest::addColumn<QString>("run"); // how the status line starts to tell of a run

    const QString written = "1 segment written to ";
    const QString thin = "Thinner than 5 mils (0.127 mm): finer than many board makers print on "
                         "silkscreen.";
    QTest::newRow("gaps") << "2"
                          << "1.5" << true << 0u << "plot 1000 × 500 mils (25.4 × 12.7 mm)"
                          << "Gaps of 0.5 mils between rows: lines thinner than the pixel pitch; "
                             "type 2 as Lines Thick to cover the rows exactly.   " +
                                 thin
                          << written;
    QTest::newRow("matching") << "6"
                              << "6" << true << 0u << "plot 3000 × 1500 mils (76.2 × 38.1 mm)"
                              << "" << written;
    QTest::newRow("the visible digits of a long scale")
        << "1.23031496062992"
        << "1.23" << true << 0u << "plot 615.157 × 307.579 mils (15.625 × 7.812 mm)" << thin
        << written;
    QTest::newRow("fraction") << "0.1"
                              << "5" << true << 0u << "plot 50 × 25 mils (1.27 × 0.635 mm)"
                              << "Rows 4.9 mils taller than their pixels: the artwork grows 2.45 "
                                 "mils at top and bottom; type 0.1 as Lines Thick to cover the "
                                 "rows exactly."
                              << written;
    QTest::newRow("not numbers") << "2,5"
                                 << "x" << true << 0u << "scale \"2,5\" is not a number"
                                 << "Lines Thick \"x\" is not a number: type the thickness in "
                                    "mils."
                                 << "The scale \"2,5\" is not a number. Type the size of one "
                                    "pixel in mils, for example 2 or 0.5.";
    QTest::newRow("the picture's 300 dpi")
        << "2"
        << "10" << true << 11811u << "plot 1000 × 500 mils (25.4 × 12.7 mm)"
        << "Picture says 300 dpi = 3.333 mils per pixel.   Rows 8 mils taller than their "
           "pixels: the artwork grows 4 mils at top and bottom; type 2 as Lines Thick to cover "
           "the rows exactly."
        << written;
    QTest::newRow("at the picture's 300 dpi")
        << "3.33333333333333"
        << "3.33" << true << 11811u << "plot 1666.667 × 833.333 mils (42.333 × 21.167 mm)" << thin
        << written;
    QTest::newRow("nothing traced, thickness off by less than 0.01")
        << "6"
        << "6.005" << false << 0u << "plot 3000 × 1500 mils (76.2 × 38.1 mm)"
        << "Nothing to trace: no pixel of #000000 in this picture — pick the colour to trace."
        << "0 segments written to ";
    QTest::newRow("no plot can be made")
        << "0"
        << "10" << true << 0u << "plot 0 × 0 mils (0 × 0 mm)"
        << ""
        << "The scale \"0\" must be more than 0. Type the size of one pixel in mils, for "
           "example 2 or 0.5.";
}

// Facts, advice and the run's outcome for the settings; the boxes' tooltips hold their whole
// numbers; a changed setting marks the outcome as belonging to the settings before.
void TestForm1::statusTexts()
{
    QFETCH(QString, scale);
    QFETCH(QString, thickness);
    QFETCH(bool, pick);
    QFETCH(quint32, dotsPerMetre);
    QFETCH(QString, size);
    QFETCH(QString, advice);
    QFETCH(QString, run);

    QCOMPARE(status("StatusFacts"), QString("No picture   #000000"));
    QVERIFY(!action("exportGerber")->isEnabled());
    QImage image(500, 250, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(7, 7, qRgb(0x12, 0xab, 0xef));
    choose(savePicture("wide.bmp", image, dotsPerMetre));
    if (pick)
        click(QPoint(7, 7));
    type("Text1", scale);
    type("Text2", thickness);
    QCOMPARE(countedSegments(), pick ? 1 : 0);
    QCOMPARE(status("StatusFacts"),
             "500 × 250 pixels   " + size +
                 (pick ? "   #12ABEF   1 segment" : "   #000000   0 segments"));
    QCOMPARE(status("StatusAdvice"), advice);
    QCOMPARE(box("Text1")->toolTip(), scale);
    QCOMPARE(m_form->findChild<ColorSwatch*>("Shape1")->toolTip(),
             QString(pick ? "#12ABEF" : "#000000"));
    QTest::mouseClick(button("Command1"), Qt::LeftButton);
    QVERIFY2(status("StatusRun").startsWith(run), qPrintable(status("StatusRun")));
    if (!pick)
        QVERIFY(status("StatusRun")
                    .endsWith(": the plot is empty, no pixel of #000000 in this "
                              "picture — pick the colour to trace."));
    type("Text2", thickness + "0");
    QVERIFY(status("StatusRun").startsWith(StatusLine::earlierPrefix() + run));
}

void TestForm1::setPlotSize_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<quint32>("dotsPerMetre"); // what the picture states
    QTest::addColumn<int>("side");
    QTest::addColumn<QString>("length"); // empty: the picture's own size, by its button
    QTest::addColumn<QString>("scale");
    QTest::addColumn<bool>("matchTicked"); // "Set Lines Thick to match" at first, for 10 mils
    QTest::addColumn<QString>("matched");  // the thickness ticking it sets

    QTest::newRow("25 mm wide: the lines would bleed")
        << QSize(500, 40) << 0u << int(PlotSide::Width) << "25mm"
        << "1.96850393700787" << true << "1.96850393700787";
    QTest::newRow("1 in high: they would not")
        << QSize(30, 200) << 0u << int(PlotSide::Height) << "1in"
        << "5" << false << "";
    QTest::newRow("the picture's own 300 dpi")
        << QSize(600, 40) << 11811u << int(PlotSide::Width) << ""
        << "3.33333333333333" << true << "3.33333333333333";
}

// The dialog starts from the plot's width now and tells the scale an answer gives and the
// thickness that covers its rows; OK writes that scale into the box, showing its first digits,
// and with "Set Lines Thick to match" the thickness; a picture's stated size is one button
// away; cancelling changes nothing.
void TestForm1::setPlotSize()
{
    QFETCH(QSize, picture);
    QFETCH(quint32, dotsPerMetre);
    QFETCH(int, side);
    QFETCH(QString, length);
    QFETCH(QString, scale);
    QFETCH(bool, matchTicked);
    QFETCH(QString, matched);

    QImage image(picture, QImage::Format_RGB32);
    image.fill(Qt::white);
    choose(savePicture("sized.bmp", image, dotsPerMetre));
    PlotSizeRequest request = PlotSizeQuestion::request(
        {picture, 2.0, 10.0, dotsPerMetre ? PictureDensity{300, 300} : PictureDensity{}});
    QCOMPARE(request.number, QString::number(picture.width() * 2 * 0.0254));
    QCOMPARE(request.stated.has_value(), dotsPerMetre != 0);
    if (length.isEmpty()) {
        QCOMPARE(request.stated->caption, "The Picture's Own Size (300 dpi): 50.8 mm wide");
        length = request.stated->number + request.units[request.stated->unit];
    }
    QVERIFY(request.acceptable(PlotSide(side), length));
    QVERIFY(!request.acceptable(PlotSide::Width, "25"));
    const QString described = request.describe(PlotSide(side), length);
    QVERIFY2(described.contains(scale + " mils") &&
                 described.contains("Lines " + scale + " mils thick cover the rows exactly"),
             qPrintable(described));
    QCOMPARE(request.matchThickness(PlotSide(side), length), matchTicked);

    m_platform->setNextPlotSizeAnswer(PlotSizeAnswer{PlotSide(side), length, matchTicked});
    action("setPlotSize")->trigger();
    QCOMPARE(m_platform->plotSizeRequests.size(), 1);
    QCOMPARE(box("Text1")->text(), scale);
    QCOMPARE(box("Text1")->cursorPosition(), 0);
    QCOMPARE(box("Text2")->text(), matched.isEmpty() ? QString("10") : matched);
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
