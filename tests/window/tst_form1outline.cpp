#include "FormFixture.h"

#include <QMenuBar>
#include <QProcess>
#include <QRandomGenerator>

namespace {

const QRgb Black = qRgb(0, 0, 0);

// A picture drawn with '#' for black and '.' for white, row by row.
QImage drawn(const QStringList& rows)
{
    QImage image(int(rows.first().size()), int(rows.size()), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, rows[y][x] == '#' ? Black : qRgb(255, 255, 255));
    return image;
}

// Black and white at random: shapes with holes, islands in them, corners touching.
QImage speckled(quint32 seed)
{
    QRandomGenerator random(seed);
    QStringList rows;
    for (int y = 0; y < 30; ++y) {
        rows.append(QString());
        for (int x = 0; x < 40; ++x)
            rows.last() += random.bounded(2) ? '#' : '.';
    }
    return drawn(rows);
}

} // namespace

// The Outline view, the Export menu's Filled Outlines, Board Side and Layer, and the counts.
class TestForm1Outline : public QObject, protected FormFixture
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup() { stop(); }

    void outlineViewFillsTheTracedSquares_data();
    void outlineViewFillsTheTracedSquares();
    void exportsWriteWhatTheConverterWrites_data();
    void exportsWriteWhatTheConverterWrites();
    void choicesAreRemembered();
};

void TestForm1Outline::outlineViewFillsTheTracedSquares_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<bool>("bottom");
    QTest::addColumn<int>("zoomIns"); // negative: zoomed out

    const QImage ring = drawn({"..####", "..#..#", "..#..#", "..####", "#....."});
    const QImage nested =
        drawn({"#......", ".#.....", "..#####", "..#...#", "..#.#.#", "..#...#", "..#####"});
    QTest::newRow("a hole, the last column, top, 4x") << ring << false << 2;
    QTest::newRow("a hole, the last column, bottom, 4x") << ring << true << 2;
    QTest::newRow("corners touching, an island in a hole, bottom") << nested << true << 0;
    QTest::newRow("speckled, top, 2x") << speckled(5) << false << 1;
    QTest::newRow("speckled, bottom, reduced") << speckled(6) << true << -1;
}

// Drawn from the outlines the exports write, every device pixel is ink exactly where a traced
// pixel's square lies - mirrored on the bottom side; reduced, where one of the pixels it stands
// for is traced - and a click picks the pixel whose square it shows.
void TestForm1Outline::outlineViewFillsTheTracedSquares()
{
    QFETCH(QImage, image);
    QFETCH(bool, bottom);
    QFETCH(int, zoomIns);

    choose(savePicture("drawn.bmp", image));
    action("filledOutlines")->trigger();
    action(bottom ? "sideBottom" : "sideTop")->trigger();
    QTest::keyClick(m_form.get(), Qt::Key_4, Qt::ControlModifier);
    for (int i = 0; i < std::abs(zoomIns); ++i)
        action(zoomIns > 0 ? "zoomIn" : "zoomOut")->trigger();
    const double zoom = picture1()->zoom();
    QCOMPARE(status("StatusView"), QString("Outline · %1 %").arg(zoom * 100));
    static const QRegularExpression counted(QStringLiteral("\\d+ shapes? \\(\\d+ vertices\\)$"));
    QTRY_VERIFY2(counted.match(status("StatusFacts")).hasMatch(),
                 qPrintable(status("StatusFacts")));

    const QImage shown = picture1()->viewport()->grab().toImage();
    QCOMPARE(shown.size(), (QSizeF(image.size()) * zoom).toSize());
    const int width = image.width();
    for (int j = 0; j < shown.height(); ++j) {
        for (int i = 0; i < shown.width(); ++i) {
            bool ink = false;
            for (int y = int(j / zoom); y < std::max(int((j + 1) / zoom), int(j / zoom) + 1); ++y)
                for (int x = int(i / zoom); x < std::max(int((i + 1) / zoom), int(i / zoom) + 1);
                     ++x)
                    ink = ink || image.pixel(bottom ? width - 1 - x : x, y) == Black;
            QVERIFY2((qGray(shown.pixel(i, j)) < 128) == ink,
                     qPrintable(QString("device pixel %1, %2").arg(i).arg(j)));
        }
    }
    if (zoom >= 1) {
        click(QPoint(1, 1)); // (0, 0) would be the centre
        QCOMPARE(swatch(), colorValueFromRgb(image.pixel(bottom ? width - 1 : 0, 0)));
    }
}

void TestForm1Outline::exportsWriteWhatTheConverterWrites_data()
{
    QTest::addColumn<QString>("format"); // ipf: "3 - Make out.plt"; else the Export item
    QTest::addColumn<bool>("filled");
    QTest::addColumn<QString>("side");
    QTest::addColumn<QString>("layer");

    QTest::newRow("Gerber outlines, bottom copper") << "gerber" << true << "Bottom"
                                                    << "Copper";
    QTest::newRow("KiCad outlines, top mask") << "kicad" << true << "Top"
                                              << "Mask";
    QTest::newRow("SVG outlines, bottom") << "svg" << true << "Bottom"
                                          << "Silkscreen";
    QTest::newRow("KiCad lines, bottom copper") << "kicad" << false << "Bottom"
                                                << "Copper";
    QTest::newRow("out.plt holds lines, bottom") << "ipf" << true << "Bottom"
                                                 << "Mask";
}

// With the choices of the Export menu, "3 - Make out.plt" and the exports write the
// converter's bytes for --shape, --side and --layer (out.plt lines whatever is chosen), and the
// status line counts what the converter counts, before and after.
void TestForm1Outline::exportsWriteWhatTheConverterWrites()
{
    QFETCH(QString, format);
    QFETCH(bool, filled);
    QFETCH(QString, side);
    QFETCH(QString, layer);

    const QString path = savePicture("speckled.bmp", speckled(9));
    choose(path);
    if (filled)
        action("filledOutlines")->trigger();
    action(qPrintable("side" + side))->trigger();
    action(qPrintable("layer" + layer))->trigger();

    QTemporaryDir elsewhere;
    QProcess converter;
    const QString expected = elsewhere.filePath("speckled." + format); // KiCad names it so
    const bool outline = filled && format != "ipf";
    converter.start(KELVIQ_CONVERT_EXE,
                    {"--format", format, "--shape", outline ? "outline" : "lines", "--side",
                     side.toLower(), "--layer",
                     layer == "Silkscreen" ? "silkscreen" : layer.toLower(), "--output", expected,
                     path});
    QVERIFY(converter.waitForFinished(30000) && converter.exitCode() == 0);
    // "23 shapes (118 vertices) from …" or "368 segments from …"
    const QString count = QString(converter.readAllStandardOutput()).section(" from ", 0, 0);
    if (outline) {
        QTRY_VERIFY2(status("StatusFacts").endsWith("   " + count),
                     qPrintable(status("StatusFacts")));
        // The thickness only draws out.plt's lines.
        QVERIFY(status("StatusAdvice").startsWith("In out.plt: Rows 8 mils taller"));
    }

    QString written = m_dir->filePath("out.plt");
    if (format == "ipf") {
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
    } else {
        written = m_dir->filePath("speckled." + format);
        m_platform->setNextSaveFileAnswer(written);
        action(qPrintable("export" + format.left(1).toUpper() + format.mid(1)))->trigger();
    }
    QCOMPARE(m_platform->messages.size(), 0);
    QCOMPARE(readFile(written), readFile(expected));
    QVERIFY2(status("StatusRun").startsWith(count + " written to " + written),
             qPrintable(status("StatusRun")));
}

// Off, top and silkscreen at first; the choices stay open without a picture, the menus keep
// their places, and what was chosen comes back at the next start.
void TestForm1Outline::choicesAreRemembered()
{
    QStringList menus;
    for (QAction* menu : m_form->menuBar()->actions())
        menus << menu->text();
    QCOMPARE(menus, QStringList({"About", "View", "Export"}));
    QVERIFY(!action("exportGerber")->isEnabled());
    QVERIFY(action("filledOutlines")->isEnabled());
    const auto checked = [this] {
        QStringList names;
        for (QAction* choice : m_form->findChildren<QAction*>())
            if (choice->isChecked() && !choice->objectName().startsWith("view"))
                names << choice->objectName();
        names.sort();
        return names;
    };
    QCOMPARE(checked(), QStringList({"layerSilkscreen", "sideTop"}));
    action("filledOutlines")->trigger();
    action("sideBottom")->trigger();
    action("layerCopper")->trigger();
    m_form.reset();
    m_form = std::make_unique<Form1>(*m_platform);
    QCOMPARE(checked(), QStringList({"filledOutlines", "layerCopper", "sideBottom"}));
}

QTEST_MAIN(TestForm1Outline)
#include "tst_form1outline.moc"
