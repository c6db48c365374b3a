#include "FormFixture.h"

#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>

class TestForm1Layout : public QObject, protected FormFixture
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup() { stop(); }

    void controlsFollowTheBottomEdge_data();
    void controlsFollowTheBottomEdge();
    void pictureAreaFitsThePicture_data();
    void pictureAreaFitsThePicture();
    void keyboard();
};

void TestForm1Layout::controlsFollowTheBottomEdge_data()
{
    QTest::addColumn<QSize>("asked");
    QTest::addColumn<QSize>("inner");

    QTest::newRow("larger") << QSize(1500, 1000) << QSize(1500, 1000);
    QTest::newRow("smaller than the minimum") << QSize(600, 400) << QSize(1024, 725);
    QTest::newRow("too narrow only") << QSize(900, 800) << QSize(1024, 800);
}

// The original controls keep their places measured from the bottom edge; the tracing options
// lie in the free space between the frame and "3 - Make out.plt", apart from each other, the
// status line below the client area. Every caption reads whole up to the control on its right.
void TestForm1Layout::controlsFollowTheBottomEdge()
{
    QFETCH(QSize, asked);
    QFETCH(QSize, inner);

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
    QCOMPARE(at("Picture1"), QRect(8, 8, inner.width() - 24, h - 95)); // no picture: all room
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

void TestForm1Layout::pictureAreaFitsThePicture_data()
{
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<bool>("big");
    QTest::addColumn<QSize>("areaAfterResize"); // window made 1200 × 900 inside

    // The room at start-up is 1000 × 630.
    QTest::newRow("small") << QSize(40, 30) << QSize(40, 30) << false << QSize(40, 30);
    QTest::newRow("exactly fitting")
        << QSize(1000, 630) << QSize(1000, 630) << false << QSize(1000, 630);
    QTest::newRow("one row too tall")
        << QSize(1000, 631) << QSize(1000, 630) << true << QSize(1176, 805);
    QTest::newRow("one column too wide")
        << QSize(1001, 20) << QSize(1000, 20) << true << QSize(1176, 805);
}

// A picture is shown at its own size where it fits the room; larger, the area takes the room
// and follows the window.
void TestForm1Layout::pictureAreaFitsThePicture()
{
    QFETCH(QSize, pictureSize);
    QFETCH(QSize, area);
    QFETCH(bool, big);
    QFETCH(QSize, areaAfterResize);

    QImage image(pictureSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    choose(savePicture("fit.bmp", image));
    QVERIFY(m_platform->messages.isEmpty());
    QCOMPARE(picture1()->geometry(), QRect(QPoint(8, 8), area));
    QCOMPARE(m_form->BigPicture(), big);

    m_form->resize(m_form->size() + QSize(1200 - 1024, 900 - 725));
    QTRY_COMPARE(m_form->ScaleHeight(), 900);
    QCOMPARE(picture1()->size(), areaAfterResize);
}

// Tab goes through the controls in this order and back to the start; Enter presses the focused
// button, as Space does; a number box shows its first digit again when left.
void TestForm1Layout::keyboard()
{
    const QStringList expected = {"Picture1",  "Command1", "Command2", "Text1",    "Text2",
                                  "tolerance", "specks",   "invert",   "Command3", "Picture1"};
    picture1()->setFocus();
    QStringList order = {QApplication::focusWidget()->objectName()};
    while (order.size() < expected.size()) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.append(QApplication::focusWidget()->objectName());
    }
    QCOMPARE(order, expected);

    QTest::keyClick(button("Command1"), Qt::Key_Return);
    QCOMPARE(m_platform->messages.size(), 1); // no picture chosen
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

QTEST_MAIN(TestForm1Layout)
#include "tst_form1layout.moc"
