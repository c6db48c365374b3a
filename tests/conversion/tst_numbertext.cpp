#include "NumberText.h"

#include <QTest>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

using namespace kelviq;

class TestNumberText : public QObject
{
    Q_OBJECT

private slots:
    void format_data();
    void format();
    void formatAgreesWithFifteenDigitPrintf();
    void parse_data();
    void parse();
    void parsedNumbersSurviveTheirText();
};

void TestNumberText::format_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 1000.0 << "1000";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("half") << 250.5 << "250.5";
    QTest::newRow("scale 0.1, column 3 rounds to 15 digits") << (3 * 0.1) * 100 << "30";
    QTest::newRow("negative fraction") << -0.25 << "-0.25";
    QTest::newRow("fifteen digits") << 123456789012345.0 << "123456789012345";
    QTest::newRow("10^15 takes the exponent") << 1e15 << "1e+15";
    QTest::newRow("beyond fifteen digits") << 1234567890123456.0 << "1.23456789012346e+15";
    QTest::newRow("third") << 100.0 / 3.0 << "33.3333333333333";
    QTest::newRow("scale 0.0000001, column 5") << (5 * 0.0000001) * 100 << "0.00005";
    QTest::newRow("tiny, negative") << -1.5e-7 << "-0.00000015";
    QTest::newRow("tiny, rounded to 15 digits")
        << 1.0 / 3.0 * 1e-20 << "0.00000000000000000000333333333333333";
    QTest::newRow("smallest double") << std::numeric_limits<double>::denorm_min()
                                     << "0." + QString(323, '0') + "494065645841247";
}

void TestNumberText::format()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(numberText(value)), text);
}

// Every coordinate a picture can produce, for the scales people use, must read exactly as the
// C library's 15-significant-digit form: that is what the plot file has always held.
void TestNumberText::formatAgreesWithFifteenDigitPrintf()
{
    const double scales[] = {2, 1, 0.1, 0.015, 7.5, 1.0 / 3.0, 0.254, 25.4, 1e-3, 1234.5678};
    for (double scale : scales) {
        for (int pixel = 0; pixel < 20000; pixel += 7) {
            const double v = (pixel * scale) * 100;
            char expected[64];
            std::snprintf(expected, sizeof expected, "%.15g", v);
            QCOMPARE(numberText(v), std::string(expected));
        }
    }
}

void TestNumberText::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("writtenLikeANumber"); // too large rather than not a number
    QTest::newRow("whole") << "2" << true << 2.0 << true;
    QTest::newRow("blanks around") << "  10\t " << true << 10.0 << true;
    QTest::newRow("plus sign") << "+3" << true << 3.0 << true;
    QTest::newRow("minus sign") << "-0.5" << true << -0.5 << true;
    QTest::newRow("leading point") << ".25" << true << 0.25 << true;
    QTest::newRow("trailing point") << "4." << true << 4.0 << true;
    QTest::newRow("too small to hold reads as zero")
        << "0." + QString(400, '0') + "1" << true << 0.0 << true;
    QTest::newRow("many digits") << "0.1000000000000000055511151231257827" << true << 0.1 << true;
    QTest::newRow("too large") << "1" + QString(400, '0') << false << 0.0 << true;
    QTest::newRow("empty") << "" << false << 0.0 << false;
    QTest::newRow("blank") << "   " << false << 0.0 << false;
    QTest::newRow("trailing letters") << "10mil" << false << 0.0 << false;
    QTest::newRow("comma decimal") << "2,5" << false << 0.0 << false;
    QTest::newRow("exponent") << "1e3" << false << 0.0 << false;
    QTest::newRow("two points") << "1.2.3" << false << 0.0 << false;
    QTest::newRow("lone point") << "." << false << 0.0 << false;
    QTest::newRow("sign only") << "-" << false << 0.0 << false;
    QTest::newRow("two signs") << "--2" << false << 0.0 << false;
    QTest::newRow("inner blank") << "1 0" << false << 0.0 << false;
    QTest::newRow("infinity") << "inf" << false << 0.0 << false;
    QTest::newRow("hex") << "0x10" << false << 0.0 << false;
    QTest::newRow("arabic-indic digit") << QString::fromUtf8("\u0663") << false << 0.0 << false;
    QTest::newRow("non-breaking blank") << QString::fromUtf8("\u00a02") << false << 0.0 << false;
}

void TestNumberText::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(double, value);
    QFETCH(bool, writtenLikeANumber);
    const std::optional<double> parsed = parseNumber(text);
    QCOMPARE(parsed.has_value(), accepted);
    if (accepted)
        QCOMPARE(*parsed, value);
    QCOMPARE(isNumberText(text), writtenLikeANumber);
}

// What the reader accepts, written and read again, must come back as the same text - also
// tiny fractions, now written out in full digits.
void TestNumberText::parsedNumbersSurviveTheirText()
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> digit(0, 9);
    for (int i = 0; i < 5000; ++i) {
        QString text;
        const bool tiny = i % 4 == 0;
        const int whole = tiny ? 1 : 1 + static_cast<int>(random() % 12);
        for (int d = 0; d < whole; ++d)
            text += tiny ? QChar(u'0') : QChar(u'0' + digit(random));
        if (tiny || random() % 2) {
            text += u'.';
            if (tiny)
                text += QString(static_cast<int>(random() % 40), u'0');
            const int fraction = static_cast<int>(random() % 12);
            for (int d = 0; d < fraction; ++d)
                text += QChar(u'0' + digit(random));
        }
        const std::optional<double> value = parseNumber(text);
        QVERIFY2(value.has_value(), qPrintable(text));
        const std::string written = numberText(*value);
        QVERIFY2(written.find('e') == std::string::npos, written.c_str());
        const std::optional<double> again = parseNumber(QString::fromStdString(written));
        QVERIFY2(again.has_value(), written.c_str());
        QCOMPARE(numberText(*again), written);
    }
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
