#include "NumberText.h"

#include <QTest>
#include <cmath>
#include <cstdio>
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
    void parseRejects_data();
    void parseRejects();
    void parsedNumbersSurviveTheirText();
};

void TestNumberText::format_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 1000.0 << "1000";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("half") << 250.5 << "250.5";
    QTest::newRow("scale 0.015, column 1") << (1 * 0.015) * 100 << "1.5";
    QTest::newRow("scale 0.1, column 3 rounds to 15 digits") << (3 * 0.1) * 100 << "30";
    QTest::newRow("negative") << -400.0 << "-400";
    QTest::newRow("negative fraction") << -0.25 << "-0.25";
    QTest::newRow("small fraction") << 0.5 << "0.5";
    QTest::newRow("fifteen digits") << 123456789012345.0 << "123456789012345";
    QTest::newRow("beyond fifteen digits") << 1234567890123456.0 << "1.23456789012346e+15";
    QTest::newRow("third") << 100.0 / 3.0 << "33.3333333333333";
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
    QTest::addColumn<double>("value");
    QTest::newRow("whole") << "2" << 2.0;
    QTest::newRow("decimal") << "7.5" << 7.5;
    QTest::newRow("blanks around") << "  10\t " << 10.0;
    QTest::newRow("plus sign") << "+3" << 3.0;
    QTest::newRow("minus sign") << "-0.5" << -0.5;
    QTest::newRow("leading point") << ".25" << 0.25;
    QTest::newRow("trailing point") << "4." << 4.0;
    QTest::newRow("zero") << "0" << 0.0;
    QTest::newRow("too small to hold reads as zero") << "0." + QString(400, '0') + "1" << 0.0;
    QTest::newRow("many digits") << "0.1000000000000000055511151231257827" << 0.1;
}

void TestNumberText::parse()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    const std::optional<double> parsed = parseNumber(text);
    QVERIFY(parsed.has_value());
    QCOMPARE(*parsed, value);
}

void TestNumberText::parseRejects_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("blank") << "   ";
    QTest::newRow("letters") << "abc";
    QTest::newRow("trailing letters") << "10mil";
    QTest::newRow("comma decimal") << "2,5";
    QTest::newRow("exponent") << "1e3";
    QTest::newRow("two points") << "1.2.3";
    QTest::newRow("lone point") << ".";
    QTest::newRow("sign only") << "-";
    QTest::newRow("two signs") << "--2";
    QTest::newRow("inner blank") << "1 0";
    QTest::newRow("infinity") << "inf";
    QTest::newRow("nan") << "nan";
    QTest::newRow("hex") << "0x10";
    QTest::newRow("too large") << "1" + QString(400, '0');
    QTest::newRow("arabic-indic digit") << QString::fromUtf8("\u0663");
    QTest::newRow("non-breaking blank") << QString::fromUtf8("\u00a02");
}

void TestNumberText::parseRejects()
{
    QFETCH(QString, text);
    QVERIFY(!parseNumber(text).has_value());
}

// What the reader accepts, written and read again, must come back as the same text.
void TestNumberText::parsedNumbersSurviveTheirText()
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> digit(0, 9);
    for (int i = 0; i < 5000; ++i) {
        QString text;
        const int whole = 1 + static_cast<int>(random() % 12);
        for (int d = 0; d < whole; ++d)
            text += QChar(u'0' + digit(random));
        if (random() % 2) {
            text += u'.';
            const int fraction = static_cast<int>(random() % 12);
            for (int d = 0; d < fraction; ++d)
                text += QChar(u'0' + digit(random));
        }
        const std::optional<double> value = parseNumber(text);
        QVERIFY2(value.has_value(), qPrintable(text));
        const std::string written = numberText(*value);
        const std::optional<double> again = parseNumber(QString::fromStdString(written));
        QVERIFY2(again.has_value(), written.c_str());
        QCOMPARE(numberText(*again), written);
    }
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
