#include "FormFixture.h"
#include "PictureArea.h"
#include "RecordingPlatform.h"
#include "TestFiles.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

using namespace kelviq;
using namespace testfiles;

namespace {

constexpr QRgb Red = 0xffff0000;
constexpr QRgb Blue = 0xff0000ff;
constexpr ColorValue RedValue = 0x0000ff;
constexpr ColorValue BlueValue = 0xff0000;

// Left half red, right half blue.
QImage halves(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Blue);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width / 2; ++x)
            image.setPixel(x, y, Red);
    return image;
}

void sendMouse(QWidget* viewport, QEvent::Type type, const QPoint& at, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(at), viewport->mapToGlobal(QPointF(at)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(viewport, &event);
}

} // namespace

class TestForm1Picture : public QObject, protected FormFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fitRules_data();
    void fitRules();
    void refusedOrCancelledKeepsThePicture_data();
    void refusedOrCancelledKeepsThePicture();
    void pickingByClickAndDrag();
    void endingDuringARunKeepsThePreviousPlot_data();
    void endingDuringARunKeepsThePreviousPlot();
};

void TestForm1Picture::init()
{
    start();
}

void TestForm1Picture::cleanup()
{
    stop();
}

void TestForm1Picture::fitRules_data()
{
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<bool>("big");
    QTest::addColumn<QSize>("areaAfterResize"); // window made 1200 × 900 inside

    // The room at start-up is 1000 × 630.
    QTest::newRow("small") << QSize(40, 30) << QSize(40, 30) << false << QSize(40, 30);
    QTest::newRow("exactly fitting")
        << QSize(1000, 630) << QSize(1000, 630) << false << QSize(1000, 630);
    QTest::newRow("tall and narrow")
        << QSize(50, 700) << QSize(50, 630) << true << QSize(1176, 805);
    QTest::newRow("one row too tall")
        << QSize(1000, 631) << QSize(1000, 630) << true << QSize(1176, 805);
    QTest::newRow("wide and low") << QSize(1500, 20) << QSize(1000, 20) << true << QSize(1176, 805);
}

void TestForm1Picture::fitRules()
{
    QFETCH(QSize, pictureSize);
    QFETCH(QSize, area);
    QFETCH(bool, big);
    QFETCH(QSize, areaAfterResize);

    QImage image(pictureSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QString path = savePicture("fit.bmp", image);
    choose(path);

    QVERIFY(m_platform->messages.isEmpty());
    QVERIFY(!QGuiApplication::overrideCursor());
    QCOMPARE(m_form->windowTitle(), "KELVIQ converter - " + path);
    QCOMPARE(m_form->FileName(), path);
    QCOMPARE(picture1()->geometry(), QRect(QPoint(8, 8), area));
    QCOMPARE(m_form->BigPicture(), big);
    QCOMPARE(QDir::currentPath(), QDir(m_dir->path()).canonicalPath());

    m_form->resize(m_form->size() + QSize(1200 - 1024, 900 - 725));
    QTRY_COMPARE(m_form->ScaleHeight(), 900);
    QCOMPARE(picture1()->size(), areaAfterResize);
}

void TestForm1Picture::refusedOrCancelledKeepsThePicture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // null: no such file

    QTest::newRow("not a picture") << "notes.bmp" << QByteArray("just some text\n");
    QTest::newRow("missing") << "gone.bmp" << QByteArray();
    QTest::newRow("cancelled") << "" << QByteArray();
}

// A file that is not a picture is refused with a message, and cancelling the dialog does
// nothing: either way the picture, its file name, caption and layout stay.
void TestForm1Picture::refusedOrCancelledKeepsThePicture()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);

    // A tall picture first, so the area and BigPicture are in a state worth keeping.
    const QString good = savePicture("good.bmp", halves(50, 700));
    choose(good);
    QVERIFY(m_form->BigPicture());
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
        const RecordingPlatform::Message message = m_platform->messages.first();
        QCOMPARE(message.icon, MessageIcon::Critical);
        QCOMPARE(message.title, QString("KELVIQ"));
        QVERIFY2(message.text.contains(bad), qPrintable(message.text));
        QVERIFY(message.text.size() > bad.size() + 10); // and says why
    }
    QVERIFY(!QGuiApplication::overrideCursor()); // the wait cursor is gone again
    QCOMPARE(m_form->FileName(), good);
    QCOMPARE(m_form->windowTitle(), "KELVIQ converter - " + good);
    QVERIFY(m_form->BigPicture());
    QCOMPARE(picture1()->size(), QSize(50, 630));
    QCOMPARE(picture1()->picture().height(), 700);
    QCOMPARE(QDir::currentPath(), QDir(QDir::tempPath()).canonicalPath());
}

void TestForm1Picture::pickingByClickAndDrag()
{
    choose(savePicture("halves.bmp", halves(40, 30)));
    QWidget* viewport = picture1()->viewport();
    QCOMPARE(swatch(), 0);

    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(swatch(), RedValue);
    QTest::mouseClick(viewport, Qt::RightButton, {}, QPoint(35, 5));
    QCOMPARE(swatch(), BlueValue);

    // Dragging with a button held keeps picking; moving without one does not.
    sendMouse(viewport, QEvent::MouseButtonPress, QPoint(30, 20), Qt::MiddleButton,
              Qt::MiddleButton);
    QCOMPARE(swatch(), BlueValue);
    sendMouse(viewport, QEvent::MouseMove, QPoint(10, 20), Qt::NoButton, Qt::MiddleButton);
    QCOMPARE(swatch(), RedValue);
    sendMouse(viewport, QEvent::MouseButtonRelease, QPoint(10, 20), Qt::MiddleButton, Qt::NoButton);
    sendMouse(viewport, QEvent::MouseMove, QPoint(30, 20), Qt::NoButton, Qt::NoButton);
    QCOMPARE(swatch(), RedValue);

    // Off the area, with a button held, nothing is picked.
    sendMouse(viewport, QEvent::MouseButtonPress, QPoint(30, 20), Qt::LeftButton, Qt::LeftButton);
    QCOMPARE(swatch(), BlueValue);
    sendMouse(viewport, QEvent::MouseMove, QPoint(-3, 20), Qt::NoButton, Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseMove, QPoint(5, 45), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(swatch(), BlueValue);
    QCOMPARE(picture1()->Point(-1, 0), NoColor);
    QCOMPARE(picture1()->Point(0, 30), NoColor);
    QCOMPARE(picture1()->Point(39, 29), BlueValue);

    // A tall picture scrolls: its last row can be picked. Where the area follows the window
    // beyond it, a click there picks the background.
    QImage tall = halves(50, 700);
    tall.setPixel(49, 699, qRgb(0, 255, 0));
    choose(savePicture("tall.bmp", tall));
    for (QScrollBar* bar : {picture1()->horizontalScrollBar(), picture1()->verticalScrollBar()}) {
        QTRY_VERIFY(bar->isVisible());
        bar->setValue(bar->maximum());
    }
    QTest::mouseClick(viewport, Qt::LeftButton, {},
                      QPoint(viewport->width() - 1, viewport->height() - 1));
    QCOMPARE(swatch(), colorValueFromRgb(qRgb(0, 255, 0)));
    m_form->resize(m_form->size() + QSize(100, 100));
    QTRY_COMPARE(picture1()->width(), 1100);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(300, 10));
    QCOMPARE(swatch(), picture1()->backgroundColor());
}

void TestForm1Picture::endingDuringARunKeepsThePreviousPlot_data()
{
    QTest::addColumn<bool>("byButton");
    QTest::newRow("4 - Bye") << true;
    QTest::newRow("closing the window") << false;
}

void TestForm1Picture::endingDuringARunKeepsThePreviousPlot()
{
    QFETCH(bool, byButton);

    QImage image(20, 300, QImage::Format_RGB32);
    image.fill(Qt::black);
    choose(savePicture("long.bmp", image));
    QVERIFY(writeFile(m_dir->filePath("out.plt"), "old plot"));

    QStringList seen;
    m_platform->setOnProcessEvents([&](int call) {
        if (call == 40) {
            seen.append(m_form->findChild<QPushButton*>("Command1")->isVisible() ? "shown"
                                                                                 : "hidden");
            seen.append(m_form->findChild<QLabel*>("Image1_1")->isVisible() ? "busy" : "idle");
            if (byButton)
                QTest::mouseClick(m_form->findChild<QPushButton*>("Command3"), Qt::LeftButton);
            else
                m_form->close();
        }
    });
    QTest::mouseClick(m_form->findChild<QPushButton*>("Command1"), Qt::LeftButton);

    QCOMPARE(seen, QStringList({"hidden", "busy"}));
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
