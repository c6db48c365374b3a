#include "ColorSwatch.h"
#include "Form1.h"
#include "RecordingPlatform.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace kelviq;

namespace {

// Outer size that gives the window the inner size asked for.
void resizeInner(Form1& form, int width, int height)
{
    form.resize(width + form.width() - form.ScaleWidth(),
                height + form.height() - form.ScaleHeight());
}

QWidget* control(Form1& form, const char* name)
{
    auto* widget = form.findChild<QWidget*>(QLatin1String(name));
    if (!widget)
        qWarning("no control %s", name);
    return widget;
}

QRect cursorRect(QLineEdit* box)
{
    return box->inputMethodQuery(Qt::ImCursorRectangle).toRect();
}

} // namespace

class TestForm1Layout : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlsAsDesigned_data();
    void controlsAsDesigned();
    void startsWithItsDefaults();
    void captionsReadWhole_data();
    void captionsReadWhole();
    void tabOrder();
    void numbersShowUnscrolled();
    void layoutFollowsTheBottomEdge_data();
    void layoutFollowsTheBottomEdge();
    void aboutBox();
    void noPictureChosenLeavesThePlotAlone();
    void byeAndCloseEndTheProgram_data();
    void byeAndCloseEndTheProgram();

private:
    RecordingPlatform* m_platform = nullptr;
    Form1* m_form = nullptr;
};

void TestForm1Layout::init()
{
    m_platform = new RecordingPlatform;
    m_form = new Form1(*m_platform);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
}

void TestForm1Layout::cleanup()
{
    delete m_form;
    delete m_platform;
}

void TestForm1Layout::controlsAsDesigned_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");

    // Left, top, width, height after start-up (inner size 1024 × 725).
    QTest::newRow("Picture1") << "Picture1"
                              << "Form1"
                              << "" << QRect(8, 8, 1000, 630);
    QTest::newRow("Command1") << "Command1"
                              << "Form1"
                              << "3 - Make out.plt" << QRect(784, 656, 105, 57);
    QTest::newRow("Command2") << "Command2"
                              << "Form1"
                              << "1 - Select BMP file" << QRect(16, 656, 121, 57);
    QTest::newRow("Frame1") << "Frame1"
                            << "Form1"
                            << "2 - Settings" << QRect(152, 656, 385, 57);
    QTest::newRow("Label1(0)") << "Label1_0"
                               << "Frame1"
                               << "Lines Thick:" << QRect(16, 24, 73, 17);
    QTest::newRow("Label2(0)") << "Label2_0"
                               << "Frame1"
                               << "Scale:  1 Pixel is" << QRect(144, 24, 105, 17);
    QTest::newRow("Label2(2)") << "Label2_2"
                               << "Frame1"
                               << "Mils" << QRect(256, 24, 33, 17);
    QTest::newRow("Text1") << "Text1"
                           << "Frame1"
                           << "2" << QRect(224, 22, 25, 19);
    QTest::newRow("Text2") << "Text2"
                           << "Frame1"
                           << "10" << QRect(80, 22, 25, 19);
    QTest::newRow("Label2(1)") << "Label2_1"
                               << "Frame1"
                               << "Mils" << QRect(112, 24, 33, 17);
    QTest::newRow("Label1(1)") << "Label1_1"
                               << "Frame1"
                               << "Pick Color: " << QRect(288, 24, 65, 17);
    QTest::newRow("Command3") << "Command3"
                              << "Form1"
                              << "4 - Bye" << QRect(904, 656, 105, 57);
    QTest::newRow("Shape1") << "Shape1"
                            << "Frame1"
                            << "" << QRect(344, 24, 17, 17);
    QTest::newRow("Line1(0)") << "Line1_0"
                              << "Frame1"
                              << "" << QRect(136, 16, 1, 33);
    QTest::newRow("Line1(1)") << "Line1_1"
                              << "Frame1"
                              << "" << QRect(280, 16, 1, 33);
    QTest::newRow("Image1(0)") << "Image1_0"
                               << "Form1"
                               << "" << QRect(808, 645, 65, 71);
    QTest::newRow("Image1(1)") << "Image1_1"
                               << "Form1"
                               << "" << QRect(808, 645, 65, 71);
}

void TestForm1Layout::controlsAsDesigned()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);

    auto* widget = m_form->findChild<QWidget*>(name);
    QVERIFY(widget);
    QWidget* expectedParent =
        parent == "Form1" ? m_form->centralWidget() : m_form->findChild<QWidget*>(parent);
    QCOMPARE(widget->parentWidget(), expectedParent);
    QCOMPARE(widget->geometry(), geometry);
    if (auto* button = qobject_cast<QPushButton*>(widget))
        QCOMPARE(button->text(), text);
    else if (auto* label = qobject_cast<QLabel*>(widget); label && !text.isEmpty())
        QCOMPARE(label->text(), text);
    else if (auto* box = qobject_cast<QLineEdit*>(widget))
        QCOMPARE(box->text(), text);
    else if (auto* frame = qobject_cast<QGroupBox*>(widget))
        QCOMPARE(frame->title(), text);
}

void TestForm1Layout::startsWithItsDefaults()
{
    QCOMPARE(m_form->windowTitle(), QString("KELVIQ converter"));
    QCOMPARE(m_form->ScaleWidth(), 1024);
    QCOMPARE(m_form->ScaleHeight(), 725);
    QVERIFY(m_form->BigPicture());
    QVERIFY(m_form->FileName().isEmpty());
    QVERIFY(m_form->windowIcon().availableSizes().contains(QSize(32, 32)));

    auto* shape = m_form->findChild<ColorSwatch*>("Shape1");
    QVERIFY(shape);
    QCOMPARE(shape->FillColor(), 0);
    QVERIFY(control(*m_form, "Command1")->isVisible());

    // Two different frames of the busy animation, both hidden, on top of the make button.
    QImage frames[2];
    for (int i = 0; i < 2; ++i) {
        auto* image = m_form->findChild<QLabel*>(QStringLiteral("Image1_%1").arg(i));
        QVERIFY(image);
        QVERIFY(!image->isVisible());
        QCOMPARE(image->pixmap().size(), QSize(65, 70));
        frames[i] = image->pixmap().toImage();
    }
    QVERIFY(frames[0] != frames[1]);

    // The separators are drawn in the button-shadow colour.
    QWidget* line = control(*m_form, "Line1_1");
    QCOMPARE(line->grab().toImage().pixel(0, 10), line->palette().color(QPalette::Dark).rgb());

    const QList<QAction*> menu = m_form->menuBar()->actions();
    QCOMPARE(menu.size(), 1);
    QCOMPARE(menu.first()->text(), QString("About"));
    QCOMPARE(menu.first()->objectName(), QString("about"));
}

void TestForm1Layout::captionsReadWhole_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("room");

    // Room up to the next control to the right of the caption.
    QTest::newRow("Lines Thick:") << "Label1_0" << 80 - 16;
    QTest::newRow("Mils after Text2") << "Label2_1" << 136 - 112;
    QTest::newRow("Scale:  1 Pixel is") << "Label2_0" << 224 - 144;
    QTest::newRow("Mils after Text1") << "Label2_2" << 280 - 256;
    QTest::newRow("Pick Color:") << "Label1_1" << 344 - 288;
    QTest::newRow("Command1") << "Command1" << 105 - 8;
    QTest::newRow("Command2") << "Command2" << 121 - 8;
    QTest::newRow("Command3") << "Command3" << 105 - 8;
    QTest::newRow("Frame1") << "Frame1" << 385 - 16;
}

void TestForm1Layout::captionsReadWhole()
{
    QFETCH(QString, name);
    QFETCH(int, room);

    QWidget* widget = m_form->findChild<QWidget*>(name);
    QVERIFY(widget);
    QString text;
    if (auto* label = qobject_cast<QLabel*>(widget))
        text = label->text().trimmed();
    else if (auto* button = qobject_cast<QPushButton*>(widget))
        text = button->text();
    else
        text = qobject_cast<QGroupBox*>(widget)->title();
    const QFontMetrics metrics = widget->fontMetrics();
    QVERIFY2(
        metrics.horizontalAdvance(text) < room,
        qPrintable(
            QStringLiteral("%1 px wide, room %2").arg(metrics.horizontalAdvance(text)).arg(room)));
    QVERIFY(metrics.height() <= 17);
    // Not shrunk beyond reading.
    QVERIFY(widget->font().pixelSize() >= 9 || widget->font().pointSizeF() >= 7);
}

void TestForm1Layout::tabOrder()
{
    const QStringList expected = {"Picture1", "Command1", "Command2", "Text1", "Text2", "Command3"};
    QWidget* start = control(*m_form, "Picture1");
    QStringList order;
    QWidget* widget = start;
    do {
        if (widget->isVisible() && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus))
            order.append(widget->objectName());
        widget = widget->nextInFocusChain();
    } while (widget != start && order.size() < 20);
    QCOMPARE(order, expected);
}

// The text boxes show their numbers whole, without scrolling them.
void TestForm1Layout::numbersShowUnscrolled()
{
    for (const char* name : {"Text1", "Text2"}) {
        auto* box = m_form->findChild<QLineEdit*>(name);
        box->setCursorPosition(0);
        const int left = cursorRect(box).center().x();
        box->setCursorPosition(int(box->text().size()));
        const int right = cursorRect(box).center().x();
        QVERIFY2(qAbs(right - left - box->fontMetrics().horizontalAdvance(box->text())) <= 1, name);
        QVERIFY(cursorRect(box).right() < box->width());
    }
}

void TestForm1Layout::layoutFollowsTheBottomEdge_data()
{
    QTest::addColumn<QSize>("asked");
    QTest::addColumn<QSize>("inner");

    QTest::newRow("taller") << QSize(1024, 900) << QSize(1024, 900);
    QTest::newRow("wider") << QSize(1300, 725) << QSize(1300, 725);
    QTest::newRow("larger") << QSize(1500, 1000) << QSize(1500, 1000);
    QTest::newRow("smaller than the minimum") << QSize(600, 400) << QSize(1024, 725);
    QTest::newRow("too narrow only") << QSize(900, 800) << QSize(1024, 800);
    QTest::newRow("too low only") << QSize(1200, 500) << QSize(1200, 725);
}

void TestForm1Layout::layoutFollowsTheBottomEdge()
{
    QFETCH(QSize, asked);
    QFETCH(QSize, inner);

    resizeInner(*m_form, 1400, 900); // from somewhere else than the start
    resizeInner(*m_form, asked.width(), asked.height());
    QTRY_COMPARE(QSize(m_form->ScaleWidth(), m_form->ScaleHeight()), inner);

    const int h = inner.height();
    QCOMPARE(control(*m_form, "Command1")->geometry(), QRect(784, h - 69, 105, 57));
    QCOMPARE(control(*m_form, "Command2")->geometry(), QRect(16, h - 69, 121, 57));
    QCOMPARE(control(*m_form, "Command3")->geometry(), QRect(904, h - 69, 105, 57));
    QCOMPARE(control(*m_form, "Frame1")->geometry(), QRect(152, h - 69, 385, 57));
    QCOMPARE(control(*m_form, "Image1_0")->geometry(), QRect(808, h - 80, 65, 71));
    QCOMPARE(control(*m_form, "Image1_1")->geometry(), QRect(808, h - 80, 65, 71));
    // No picture loaded: the picture area fills the window.
    QCOMPARE(control(*m_form, "Picture1")->geometry(), QRect(8, 8, inner.width() - 24, h - 95));
    QCOMPARE(control(*m_form, "Text2")->geometry(), QRect(80, 22, 25, 19));
}

void TestForm1Layout::aboutBox()
{
    m_form->findChild<QAction*>("about")->trigger();
    QCOMPARE(m_platform->messages.size(), 1);
    const RecordingPlatform::Message message = m_platform->messages.first();
    QCOMPARE(message.title, QString("About KELVIQ"));
    QCOMPARE(message.icon, MessageIcon::Information);
    const QStringList lines = message.text.split(QChar('\r'));
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0],
             QString("KELVIQ 1.1 exports BMP raster files to PCB Allegro vectorial IPF file."));
    QVERIFY(lines[1].isEmpty());
    for (int i = 2; i < 5; ++i)
        QVERIFY(!lines[i].trimmed().isEmpty());
    QVERIFY(!message.text.contains(QChar('\n')));
}

void TestForm1Layout::noPictureChosenLeavesThePlotAlone()
{
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    {
        QFile file("out.plt");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("old plot");
    }
    QTest::mouseClick(control(*m_form, "Command1"), Qt::LeftButton);
    QFile file("out.plt");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    const QStringList entries = QDir().entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    QDir::setCurrent(previous);

    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages[0].text,
             QString("This program has performed an illegal operation \r"
                     "and it will be traced by Quorvane.\r\r"
                     "If you persist in not selecting a BMP file \r"
                     "you wont get your out.plt file made."));
    QCOMPARE(m_platform->messages[0].title, QString("KELVIQ"));
    QCOMPARE(m_platform->messages[0].icon, MessageIcon::Critical);
    QCOMPARE(content, QByteArray("old plot"));
    QCOMPARE(entries, QStringList{"out.plt"});
    QVERIFY(control(*m_form, "Command1")->isVisible());
    QCOMPARE(m_platform->beeps, 0);
}

void TestForm1Layout::byeAndCloseEndTheProgram_data()
{
    QTest::addColumn<bool>("byButton");
    QTest::newRow("4 - Bye") << true;
    QTest::newRow("closing the window") << false;
}

void TestForm1Layout::byeAndCloseEndTheProgram()
{
    QFETCH(bool, byButton);
    if (byButton)
        QTest::mouseClick(control(*m_form, "Command3"), Qt::LeftButton);
    else
        m_form->close();
    QVERIFY(m_platform->endRequested());
    QCOMPARE(m_platform->calls, QStringList{"end"});
    QVERIFY(!m_form->isVisible());
}

QTEST_MAIN(TestForm1Layout)
#include "tst_form1layout.moc"
