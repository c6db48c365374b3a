#include "ColorSwatch.h"
#include "Form1.h"
#include "PictureArea.h"
#include "RecordingPlatform.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace kelviq;

// The window on a display scaled by 2: every shown pixel is 2 × 2 device pixels, and the
// pointer can stand anywhere inside one; the swatch's outline stays sharp.
class TestForm1Scaled : public QObject
{
    Q_OBJECT

private slots:
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

    QTemporaryDir dir;
    QImage image(16, 12, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 10, y * 10, 99));
    const QString path = dir.filePath("numbered.bmp");
    QVERIFY(image.save(path, "BMP"));

    RecordingPlatform platform;
    Form1 form(platform);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    platform.setNextOpenFileAnswer(path);
    QTest::mouseClick(form.findChild<QPushButton*>("Command2"), Qt::LeftButton);
    for (int i = 0; i < zoomIns; ++i)
        form.findChild<QAction*>("zoomIn")->trigger();
    QWidget* viewport = form.findChild<PictureArea*>("Picture1")->viewport();
    QCOMPARE(viewport->devicePixelRatioF(), 2.0);
    auto* swatch = form.findChild<ColorSwatch*>("Shape1");

    const double shown = std::ldexp(1.0, zoomIns);
    for (const QPoint pixel : {QPoint(3, 2), QPoint(15, 11)}) {
        const QPointF at = (QPointF(pixel) + inside) * shown;
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(viewport, &event);
        }
        QCOMPARE(swatch->FillColor(), colorValueFromRgb(image.pixel(pixel)));
    }

    // Shown pixels are sharp 2 × 2 squares (times the zoom) of the picture's own colours; the
    // swatch has two device pixels of black all round and the picked colour inside.
    const QImage grabbed = viewport->grab().toImage();
    const int device = int(2 * shown);
    for (int y = 0; y < 12 * device; ++y)
        for (int x = 0; x < 16 * device; x += 3)
            QCOMPARE(grabbed.pixel(x, y), image.pixel(x / device, y / device));
    const QImage outlined = swatch->grab().toImage();
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
    // The scale must be set before the application starts.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    TestForm1Scaled test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_form1scaled.moc"
