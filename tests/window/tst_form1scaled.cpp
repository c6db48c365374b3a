#include "FormFixture.h"

#include <QMouseEvent>

// The window on a display scaled by 2, set before the application starts: every shown pixel is
// 2 × 2 device pixels, and the pointer can stand anywhere inside one.
class TestForm1Scaled : public QObject, protected FormFixture
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup() { stop(); }
    void picksThePixelWherever_data();
    void picksThePixelWherever();
};

void TestForm1Scaled::picksThePixelWherever_data()
{
    QTest::addColumn<int>("zoomIns");
    QTest::addColumn<QPointF>("inside"); // where in the shown pixel, 0..1

    for (int zoomIns : {0, 2}) {
        QTest::addRow("zoom %d, top left", zoomIns) << zoomIns << QPointF(0.0, 0.0);
        QTest::addRow("zoom %d, right half", zoomIns) << zoomIns << QPointF(0.75, 0.25);
        QTest::addRow("zoom %d, bottom right", zoomIns) << zoomIns << QPointF(0.99, 0.99);
    }
}

void TestForm1Scaled::picksThePixelWherever()
{
    QFETCH(int, zoomIns);
    QFETCH(QPointF, inside);

    const QImage image = numbered(16, 12);
    choose(savePicture("numbered.bmp", image));
    for (int i = 0; i < zoomIns; ++i)
        action("zoomIn")->trigger();
    QWidget* viewport = picture1()->viewport();
    QCOMPARE(viewport->devicePixelRatioF(), 2.0);
    const double zoom = picture1()->zoom();
    for (const QPoint pixel : {QPoint(3, 2), QPoint(15, 11)}) {
        const QPointF at = (QPointF(pixel) + inside) * zoom;
        QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &press);
        QCOMPARE(swatch(), colorValueFromRgb(image.pixel(pixel)));
    }

    // Shown pixels are sharp 2 × 2 squares (times the zoom) of the picture's own colours; the
    // swatch has two device pixels of black all round and the picked colour inside.
    const QImage grabbed = viewport->grab().toImage();
    const int device = int(2 * zoom);
    for (int y = 0; y < 12 * device; ++y)
        for (int x = 0; x < 16 * device; ++x)
            QCOMPARE(grabbed.pixel(x, y), image.pixel(x / device, y / device));
    const QImage outlined = m_form->findChild<ColorSwatch*>("Shape1")->grab().toImage();
    QCOMPARE(outlined.size(), QSize(34, 34));
    for (int y = 0; y < 34; ++y) {
        for (int x = 0; x < 34; ++x) {
            const bool edge = x < 2 || y < 2 || x >= 32 || y >= 32;
            QCOMPARE(outlined.pixel(x, y), edge ? qRgb(0, 0, 0) : image.pixel(15, 11));
        }
    }
}

int main(int argc, char* argv[])
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestForm1Scaled test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_form1scaled.moc"
