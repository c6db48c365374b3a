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
    QTest::newRow("actual size") << 0;
    QTest::newRow("zoom 4") << 2;
}

void TestForm1Scaled::picksThePixelWherever()
{
    QFETCH(int, zoomIns);

    const QImage image = numbered(16, 12);
    choose(savePicture("numbered.bmp", image));
    for (int i = 0; i < zoomIns; ++i)
        action("zoomIn")->trigger();
    QWidget* viewport = picture1()->viewport();
    QCOMPARE(viewport->devicePixelRatioF(), 2.0);
    const double zoom = picture1()->zoom();
    for (const QPointF inside : {QPointF(0, 0), QPointF(0.75, 0.25), QPointF(0.99, 0.99)}) {
        for (const QPoint pixel : {QPoint(3, 2), QPoint(15, 11)}) {
            const QPointF at = (QPointF(pixel) + inside) * zoom;
            QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &press);
            QCOMPARE(swatch(), colorValueFromRgb(image.pixel(pixel)));
        }
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
    for (int y = 0; y < 34; ++y)
        for (int x = 0; x < 34; ++x)
            QCOMPARE(outlined.pixel(x, y),
                     std::min({x, y, 33 - x, 33 - y}) < 2 ? qRgb(0, 0, 0) : image.pixel(15, 11));
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
