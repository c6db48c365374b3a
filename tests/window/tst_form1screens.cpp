#include "FormFixture.h"

#include <QScreen>
#include <QScrollArea>
#include <QWindow>

// The window on screens smaller than it: a 1366 × 768 laptop, and a 1600 × 1000 screen at a
// display scale of 2 (800 × 500 to the program).
class TestForm1Screens : public QObject, protected FormFixture
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup() { stop(); }
    void controlsStayReachable_data();
    void controlsStayReachable();
};

void TestForm1Screens::controlsStayReachable_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<bool>("fullSize"); // the form's own minimum stands
    QTest::newRow("desktop") << "Desktop" << true;
    QTest::newRow("1366 × 768 laptop") << "Laptop" << false;
    QTest::newRow("1600 × 1000 at scale 2") << "Scaled" << false;
}

// Moved to each screen, the window fits it; the controls keep their places along the bottom
// edge, and Tab brings each into sight.
void TestForm1Screens::controlsStayReachable()
{
    QFETCH(QString, screen);
    QFETCH(bool, fullSize);

    QScreen* target = nullptr;
    for (QScreen* each : QGuiApplication::screens())
        target = each->name() == screen ? each : target;
    QVERIFY(target);
    m_form->windowHandle()->setScreen(target);
    m_form->move(target->availableGeometry().topLeft());
    QTRY_COMPARE(m_form->screen(), target);
    QTRY_VERIFY(target->availableGeometry().contains(m_form->frameGeometry()));
    QCOMPARE(m_form->ScaleWidth(), 1024);
    QCOMPARE(m_form->ScaleHeight() == 725, fullSize);

    for (const char* name : {"Command1", "Command2", "Command3", "Frame1"})
        QCOMPARE(m_form->findChild<QWidget*>(name)->y(), m_form->ScaleHeight() - 69);
    auto* view = m_form->findChild<QScrollArea*>("Form1_view");
    const QStringList order = {"Command1",  "Command2", "Text1",  "Text2",
                               "tolerance", "specks",   "invert", "Command3"};
    picture1()->setFocus();
    for (const QString& name : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* control = QApplication::focusWidget();
        QCOMPARE(control->objectName(), name);
        const QRect shown(control->mapTo(view->viewport(), QPoint(0, 0)), control->size());
        QVERIFY2(view->viewport()->rect().contains(shown), qPrintable(name));
    }
}

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM",
            "offscreen:configfile=" KELVIQ_SOURCE_DIR "/tests/window/small-screens.json");
    QApplication app(argc, argv);
    TestForm1Screens test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_form1screens.moc"
