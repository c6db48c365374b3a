// Numbers as the plot file holds them, and the texts typed for settings as they are read.
#include "plot/NumberText.h"

#include <QTest>
#include <limits>

using namespace kelviq;

class TestNumberText : public QObject
{
    Q_OBJECT

private slots:
    void format_data();
    void format();
    void parse_data();
    void parse();
};

void TestNumberText::format_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    auto row = [](const char* name, double value, const QString& text) {
        QTest::newRow(name) << value << text;
    };
    row("whole", 1000, "1000");
    row("negative zero", -0.0, "0");
    row("half", 250.5, "250.5");
    row("scale 0.1, column 3 rounds to 15 digits", (3 * 0.1) * 100, "30");
    row("negative fraction", -0.25, "-0.25");
    row("fifteen digits", 123456789012345.0, "123456789012345");
    row("10^15 takes the exponent", 1e15, "1e+15");
    row("beyond fifteen digits", 1234567890123456.0, "1.23456789012346e+15");
    row("third", 100.0 / 3.0, "33.3333333333333");
    row("scale 0.0000001, column 5", (5 * 0.0000001) * 100, "0.00005");
    row("tiny, negative", -1.5e-7, "-0.00000015");
    row("tiny, rounded to 15 digits", 1.0 / 3.0 * 1e-20, "0.00000000000000000000333333333333333");
    row("smallest double", std::numeric_limits<double>::denorm_min(),
        "0." + QString(323, '0') + "494065645841247");
}

void TestNumberText::format()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(numberText(value)), text);
}

void TestNumberText::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("writtenLikeANumber"); // too large rather than not a number
    auto taken = [](const char* name, const QString& text, double value) {
        QTest::newRow(name) << text << true << value << true;
    };
    auto refused = [](const char* name, const QString& text, bool writtenLikeANumber = false) {
        QTest::newRow(name) << text << false << 0.0 << writtenLikeANumber;
    };
    taken("whole", "2", 2.0);
    taken("blanks around", "  10\t ", 10.0);
    taken("plus sign", "+3", 3.0);
    taken("minus sign", "-0.5", -0.5);
    taken("trailing point", "4.", 4.0);
    taken("too small to hold reads as zero", "0." + QString(400, '0') + "1", 0.0);
    taken("many digits", "0.1000000000000000055511151231257827", 0.1);
    refused("too large", "1" + QString(400, '0'), true);
    refused("empty", "");
    refused("trailing letters", "10mil");
    refused("comma decimal", "2,5");
    refused("exponent", "1e3");
    refused("lone point", ".");
    refused("sign only", "-");
    refused("two signs", "--2");
    refused("inner blank", "1 0");
    refused("arabic-indic digit", QString::fromUtf8("\u0663"));
    refused("non-breaking blank", QString::fromUtf8("\u00a02"));
}

void TestNumberText::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(double, value);
    QFETCH(bool, writtenLikeANumber);
    // As the boxes hand it over: UTF-8.
    const std::string utf8 = text.toStdString();
    const std::optional<double> parsed = parseNumber(utf8);
    QCOMPARE(parsed.has_value(), accepted);
    if (accepted)
        QCOMPARE(*parsed, value);
    QCOMPARE(isNumberText(utf8), writtenLikeANumber);
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
