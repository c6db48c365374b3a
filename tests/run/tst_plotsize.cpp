// Lengths typed for the plot's size, and the scale that gives it.
#include "run/PlotSize.h"

#include <QTest>

using namespace kelviq;

class TestPlotSize : public QObject
{
    Q_OBJECT

private slots:
    void lengths_data();
    void lengths();
    void scaleForASize_data();
    void scaleForASize();
};

void TestPlotSize::lengths_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("mils"); // 0: refused
    QTest::addColumn<QString>("reason");
    auto row = [](const char* name, const QString& text, double mils, const QString& reason) {
        QTest::newRow(name) << text << mils << reason;
    };
    row("millimetres", "25mm", 25 / 0.0254, "");
    row("mils, blanks and case", " 800 MIL ", 800, "");
    row("inches", "1in", 1000, "");
    row("long unit names", "0.5 inches", 500, "");
    row("no unit", "25", 0, "no unit");
    row("unknown unit", "25cm", 0, "unknown unit \"cm\"");
    row("comma", "2,5mm", 0, "not a number");
    row("unit only", "mm", 0, "not a number");
    row("zero", "0mm", 0, "more than zero");
    row("negative", "-3in", 0, "more than zero");
    row("320 digits", QString(320, '9') + "mm", 0, "too large");
    row("tiny", "0." + QString(400, '0') + "1mm", 0, "too small");
}

void TestPlotSize::lengths()
{
    QFETCH(QString, text);
    QFETCH(double, mils);
    QFETCH(QString, reason);
    QString why;
    const std::optional<double> parsed = PlotSize::parseLength(text, &why);
    if (mils == 0.0) {
        QVERIFY(!parsed);
        QVERIFY2(why.contains(reason) && why.contains('"' + text + '"'), qPrintable(why));
        return;
    }
    QVERIFY2(parsed, qPrintable(why));
    QCOMPARE(*parsed, mils);
}

void TestPlotSize::scaleForASize_data()
{
    QTest::addColumn<QString>("length");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<QString>("scale");
    // 984.2519685039370... mils over 500 pixels, cut to 15 significant digits.
    QTest::newRow("25 mm over 500 pixels") << "25mm" << 500 << "1.96850393700787";
    QTest::newRow("800 mil over 400") << "800mil" << 400 << "2";
    QTest::newRow("1 in over 3") << "1in" << 3 << "333.333333333333";
    QTest::newRow("no pixels") << "1in" << 0 << "";
}

void TestPlotSize::scaleForASize()
{
    QFETCH(QString, length);
    QFETCH(int, pixels);
    QFETCH(QString, scale);
    const std::optional<double> mils = PlotSize::parseLength(length);
    QVERIFY(mils);
    const std::optional<double> found = PlotSize::scaleFor(*mils, pixels);
    QCOMPARE(found ? PlotSize::scaleText(*found) : QString(), scale);
    if (found) // the written scale gives the size asked for, to 15 digits
        QCOMPARE(PlotSize::scaleText(*found).toDouble() * pixels, *mils);
}

QTEST_GUILESS_MAIN(TestPlotSize)
#include "tst_plotsize.moc"
