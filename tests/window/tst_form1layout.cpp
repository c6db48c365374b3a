#include "ColorSwatch.h"
#include "Form1.h"
#include "RecordingPlatform.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
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
    void tabOrder();
    void numbersShowUnscrolled();
    void layoutFollowsTheBottomEdge_data();
    void layoutFollowsTheBottomEdge();
    void aboutBox();
    void noPictureChosenLeavesThePlotAlone();

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
    const auto row = [](const char* name, const char* parent, const char* text, QRect geometry,
                        int room) {
        QTest::newRow(name) << QString(name) << QString(parent) << QString::fromUtf8(text)
                            << geometry << room;
    };
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<int>("room"); // for the caption, up to the next control on its right

    // Left, top, width, height after start-up (inner size 1024 × 725).
    row("Picture1", "Form1", "", {8, 8, 1000, 630}, 0);
    row("Command1", "Form1", "3 - Make out.plt", {784, 656, 105, 57}, 105 - 8);
    row("Command2", "Form1", "1 - Select BMP file", {16, 656, 121, 57}, 121 - 8);
    row("Frame1", "Form1", "2 - Settings", {152, 656, 385, 57}, 385 - 16);
    row("Label1_0", "Frame1", "Lines Thick:", {16, 24, 73, 17}, 80 - 16);
    row("Label2_0", "Frame1", "Scale:  1 Pixel is", {144, 24, 105, 17}, 224 - 144);
    row("Label2_2", "Frame1", "Mils", {256, 24, 33, 17}, 280 - 256);
    row("Text1", "Frame1", "2", {224, 22, 25, 19}, 0);
    row("Text2", "Frame1", "10", {80, 22, 25, 19}, 0);
    row("Label2_1", "Frame1", "Mils", {112, 24, 33, 17}, 136 - 112);
    row("Label1_1", "Frame1", "Pick Color: ", {288, 24, 65, 17}, 344 - 288);
    row("Command3", "Form1", "4 - Bye", {904, 656, 105, 57}, 105 - 8);
    row("Shape1", "Frame1", "", {344, 24, 17, 17}, 0);
    row("Line1_0", "Frame1", "", {136, 16, 1, 33}, 0);
    row("Line1_1", "Frame1", "", {280, 16, 1, 33}, 0);
    row("Image1_0", "Form1", "", {808, 645, 65, 71}, 0);
    row("Image1_1", "Form1", "", {808, 645, 65, 71}, 0);
}

void TestForm1Layout::controlsAsDesigned()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    QFETCH(int, room);

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
    if (room == 0)
        return;
    // The caption reads whole in the room it has, in a font not shrunk beyond reading.
    const QFontMetrics metrics = widget->fontMetrics();
    const int wide = metrics.horizontalAdvance(text.trimmed());
    QVERIFY2(wide < room, qPrintable(QStringLiteral("%1 px wide, room %2").arg(wide).arg(room)));
    QVERIFY(metrics.height() <= 17);
    QVERIFY(widget->font().pixelSize() >= 9 || widget->font().pointSizeF() >= 7);
}

void TestForm1Layout::startsWithItsDefaults()
{
    QCOMPARE(m_form->windowTitle(), QString("KELVIQ converter"));
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

// The run's own tests hold the message's words and the untouched plot; here the button's road.
void TestForm1Layout::noPictureChosenLeavesThePlotAlone()
{
    QTest::mouseClick(control(*m_form, "Command1"), Qt::LeftButton);
    QCOMPARE(m_platform->messages.size(), 1);
    QVERIFY(m_platform->messages[0].text.startsWith("This program has performed an illegal"));
    QCOMPARE(m_platform->messages[0].title, QString("KELVIQ"));
    QCOMPARE(m_platform->messages[0].icon, MessageIcon::Critical);
    QVERIFY(control(*m_form, "Command1")->isVisible());
    QCOMPARE(m_platform->beeps, 0);
}

QTEST_MAIN(TestForm1Layout)
#include "tst_form1layout.moc"
