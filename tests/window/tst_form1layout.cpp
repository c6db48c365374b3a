#include "FormFixture.h"
#include "RecordingPlatform.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
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

} // namespace

class TestForm1Layout : public QObject, protected FormFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void captionsReadWhole();
    void tabOrder();
    void layoutFollowsTheBottomEdge_data();
    void layoutFollowsTheBottomEdge();
    void menus();
};

void TestForm1Layout::init()
{
    start();
}

void TestForm1Layout::cleanup()
{
    stop();
}

// Every caption of the settings and the tracing options reads whole in the room up to the next
// control on its right; buttons and the
// frame's title keep the system's font where it fits, the settings' captions shrink no further
// than reading allows.
void TestForm1Layout::captionsReadWhole()
{
    const int systemPixels = QFontInfo(QApplication::font()).pixelSize();
    const QList<QLabel*> captions =
        m_form->findChild<QGroupBox*>("Frame1")->findChildren<QLabel*>() +
        control(*m_form, "TraceOptions")->findChildren<QLabel*>();
    QCOMPARE(captions.size(), 7);
    for (QLabel* label : captions) {
        const QFontMetrics metrics = label->fontMetrics();
        int room = label->width();
        for (QWidget* other :
             label->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other != label && !qobject_cast<QLabel*>(other) && other->x() > label->x() &&
                other->geometry().top() <= label->geometry().bottom() &&
                other->geometry().bottom() >= label->geometry().top())
                room = std::min(room, other->x() - label->x());
        }
        QVERIFY2(metrics.horizontalAdvance(label->text().trimmed()) < room,
                 qPrintable(label->text()));
        QVERIFY(metrics.height() <= 17);
        QVERIFY(label->font().pixelSize() >= 9);
    }
    for (QPushButton* button : m_form->findChildren<QPushButton*>()) {
        const QFontMetrics metrics = button->fontMetrics();
        QVERIFY2(metrics.horizontalAdvance(button->text()) + 8 <= button->width(),
                 qPrintable(button->text()));
        QVERIFY(button->font().pixelSize() <= systemPixels);
        // The system's size unless it would not fit.
        QFont system = QApplication::font();
        if (QFontMetrics(system).horizontalAdvance(button->text()) + 12 <= button->width())
            QCOMPARE(QFontInfo(button->font()).pixelSize(), systemPixels);
    }
    QCOMPARE(QFontInfo(m_form->menuBar()->font()).pixelSize(), systemPixels);
}

// Tab goes through the controls in this order and back to the start.
void TestForm1Layout::tabOrder()
{
    const QStringList expected = {"Picture1",  "Command1", "Command2", "Text1",    "Text2",
                                  "tolerance", "specks",   "invert",   "Command3", "Picture1"};
    control(*m_form, "Picture1")->setFocus();
    QStringList order = {QApplication::focusWidget()->objectName()};
    while (order.size() < expected.size()) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.append(QApplication::focusWidget()->objectName());
    }
    QCOMPARE(order, expected);
}

void TestForm1Layout::layoutFollowsTheBottomEdge_data()
{
    QTest::addColumn<QSize>("asked");
    QTest::addColumn<QSize>("inner");

    QTest::newRow("larger") << QSize(1500, 1000) << QSize(1500, 1000);
    QTest::newRow("smaller than the minimum") << QSize(600, 400) << QSize(1024, 725);
    QTest::newRow("too narrow only") << QSize(900, 800) << QSize(1024, 800);
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
    // The tracing options ride along in the free space between the frame and
    // "3 - Make out.plt", apart from each other.
    const QRect space(537, h - 69, 784 - 537, 57);
    QList<QRect> taken;
    for (QWidget* option :
         control(*m_form, "TraceOptions")->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QRect at(option->mapTo(m_form->centralWidget(), QPoint(0, 0)), option->size());
        QVERIFY2(space.contains(at), qPrintable(option->objectName()));
        for (const QRect& other : taken)
            QVERIFY(!other.intersects(at));
        taken.append(at);
    }
    QCOMPARE(taken.size(), 5);
    // The status line lies below the client area, not on it.
    QCOMPARE(m_form->statusBar()->geometry().top(),
             m_form->centralWidget()->geometry().bottom() + 1);
}

// "About" stays first and opens its box at once; "View" and "Export" follow it.
void TestForm1Layout::menus()
{
    const QList<QAction*> menu = m_form->menuBar()->actions();
    QCOMPARE(menu.size(), 3);
    QCOMPARE(menu[0]->text(), QString("About"));
    QCOMPARE(menu[0]->objectName(), QString("about"));
    QVERIFY(!menu[0]->menu());
    QCOMPARE(menu[1]->text() + menu[2]->text(), QString("ViewExport"));
    QStringList items; // "Off" without a picture
    for (QAction* action : menu[1]->menu()->actions() + menu[2]->menu()->actions()) {
        if (!action->isSeparator())
            items.append(action->text() + ' ' + action->shortcut().toString() +
                         (action->isEnabled() ? "" : "Off"));
    }
    QCOMPARE(items, QStringList({"Picture Ctrl+1", "Traced Pixels Ctrl+2", "Plot Ctrl+3",
                                 "Zoom In Ctrl++", "Zoom Out Ctrl+-", "Actual Size Ctrl+0",
                                 "Fit in Window ", "Set Plot Size… Off", "Gerber… Off",
                                 "KiCad Footprint… Off", "SVG… Off"}));

    menu[0]->trigger();
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
}

QTEST_MAIN(TestForm1Layout)
#include "tst_form1layout.moc"
