// The two ways of writing and reading decimal text, std::to_chars/from_chars and the C library's
// printf/strtod (which the WebAssembly build uses), agree on every kind of value the writers
// and the settings meet.
#include "plot/DecimalDigits.h"

#include <QTest>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

using namespace kelviq;

namespace {

enum class Family
{
    AnyMagnitude,   // random bits over every exponent the writers can meet
    PlotCoordinate, // column × scale × 100 with scales typed by hand
    HalfwayFixed,   // exactly halfway between two texts of a few decimals
    HalfwayGeneral, // 16 significant digits ending in 5: halfway at 15
    SmallAndZero,   // zeros, negatives, subnormals, powers of ten
};

double valueOf(Family family, std::mt19937_64& random)
{
    std::uniform_int_distribution<int> sign(0, 1);
    const double s = sign(random) ? -1.0 : 1.0;
    switch (family) {
    case Family::AnyMagnitude: {
        std::uniform_real_distribution<double> mantissa(1.0, 2.0);
        std::uniform_int_distribution<int> exponent(-80, 80);
        return s * std::ldexp(mantissa(random), exponent(random));
    }
    case Family::PlotCoordinate: {
        std::uniform_int_distribution<int> column(0, 1 << 20);
        std::uniform_int_distribution<int> digits(1, 999999);
        std::uniform_int_distribution<int> places(0, 7);
        const double scale = digits(random) / std::pow(10.0, places(random));
        const double plot = (column(random) * scale) * 100;
        switch (random() % 4) {
        case 0:
            return plot;
        case 1:
            return plot / 1e5; // Gerber inches
        case 2:
            return (plot - 1e5) * 0.000254; // KiCad millimetres from a centre
        default:
            return -plot / 100.0; // SVG mils
        }
    }
    case Family::HalfwayFixed: {
        std::uniform_int_distribution<std::int64_t> whole(0, 1'000'000);
        std::uniform_int_distribution<int> bits(1, 12);
        std::uniform_int_distribution<std::int64_t> odd(0, 2047);
        const int b = bits(random);
        const double fraction =
            std::ldexp(static_cast<double>((2 * odd(random) + 1) % (1 << b)), -b);
        return s * (static_cast<double>(whole(random)) + fraction);
    }
    case Family::HalfwayGeneral: {
        std::uniform_int_distribution<std::int64_t> digits(100'000'000'000'000,
                                                           899'999'999'999'999);
        return s * static_cast<double>(digits(random) * 10 + 5); // below 2^53: exact
    }
    case Family::SmallAndZero: {
        switch (random() % 4) {
        case 0:
            return s * 0.0;
        case 1:
            return s * std::ldexp(static_cast<double>(random() >> 12), -1074);
        case 2:
            return s * std::pow(10.0, static_cast<int>(random() % 40) - 20);
        default:
            return s * std::ldexp(1.0, static_cast<int>(random() % 120) - 60);
        }
    }
    }
    return 0;
}

} // namespace

class TestDecimalDigits : public QObject
{
    Q_OBJECT

private slots:
    void bothWaysAgree_data();
    void bothWaysAgree();
    void knownTexts_data();
    void knownTexts();
    void bothWaysRead_data();
    void bothWaysRead();
};

void TestDecimalDigits::bothWaysAgree_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<int>("count");
    QTest::newRow("any magnitude") << int(Family::AnyMagnitude) << 400'000;
    QTest::newRow("plot coordinates") << int(Family::PlotCoordinate) << 400'000;
    QTest::newRow("halfway, fixed") << int(Family::HalfwayFixed) << 200'000;
    QTest::newRow("halfway at 15 digits") << int(Family::HalfwayGeneral) << 200'000;
    QTest::newRow("zeros, subnormals, powers") << int(Family::SmallAndZero) << 100'000;
}

void TestDecimalDigits::bothWaysAgree()
{
    if (!DecimalDigits::hasToChars())
        QSKIP("this C++ library has no floating-point std::to_chars");
    QFETCH(int, family);
    QFETCH(int, count);
    std::mt19937_64 random(0x6b656c7669 + static_cast<unsigned>(family));
    char a[400];
    char b[400];
    auto same = [&](char* endA, char* endB, double v, const char* what, int precision) {
        const std::string_view ta(a, static_cast<std::size_t>(endA - a));
        const std::string_view tb(b, static_cast<std::size_t>(endB - b));
        if (ta != tb)
            QFAIL(qPrintable(QStringLiteral("%1 %2 of %3: to_chars %4, printf %5")
                                 .arg(what)
                                 .arg(precision)
                                 .arg(v, 0, 'a')
                                 .arg(QLatin1StringView(ta), QLatin1StringView(tb))));
    };
    for (int i = 0; i < count; ++i) {
        const double v = valueOf(static_cast<Family>(family), random);
        // Precision 15 is what the plot numbers use, 6 decimals what Gerber and KiCad use; a
        // few values go through the neighbouring precisions as well.
        const int precision = i % 8 == 0 ? 1 + i / 8 % 17 : 15;
        const int decimals = i % 8 == 0 ? i / 8 % 10 : 6;
        same(DecimalDigits::generalByToChars(a, a + sizeof a, v, precision),
             DecimalDigits::generalByPrintf(b, b + sizeof b, v, precision), v, "%.*g", precision);
        if (std::abs(v) < 1e17)
            same(DecimalDigits::fixedByToChars(a, a + sizeof a, v, decimals),
                 DecimalDigits::fixedByPrintf(b, b + sizeof b, v, decimals), v, "%.*f", decimals);
        const double ra = DecimalDigits::roundedByToChars(v, precision);
        const double rb = DecimalDigits::roundedByPrintf(v, precision);
        if (std::memcmp(&ra, &rb, sizeof ra) != 0)
            QFAIL(qPrintable(QStringLiteral("%1 rounded to %2 digits: by to_chars %3, by printf %4")
                                 .arg(v, 0, 'a')
                                 .arg(precision)
                                 .arg(ra, 0, 'a')
                                 .arg(rb, 0, 'a')));
    }
}

void TestDecimalDigits::knownTexts_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("isFixed");
    QTest::addColumn<int>("precision");
    QTest::addColumn<QString>("text");
    QTest::newRow("halfway rounds to even") << 0.125 << true << 2 << "0.12";
    QTest::newRow("halfway rounds to even, up") << 0.375 << true << 2 << "0.38";
    QTest::newRow("negative zero, fixed") << -0.0 << true << 3 << "-0.000";
    QTest::newRow("negative zero, general") << -0.0 << false << 15 << "-0";
    QTest::newRow("exponent from the precision on") << 1e15 << false << 15 << "1e+15";
    QTest::newRow("small exponent") << 5e-5 << false << 15 << "5e-05";
    QTest::newRow("trailing zeros left off") << 2.5 << false << 15 << "2.5";
    QTest::newRow("16 digits, halfway")
        << 1234567890123455.0 << false << 15 << "1.23456789012346e+15";
}

void TestDecimalDigits::knownTexts()
{
    QFETCH(double, value);
    QFETCH(bool, isFixed);
    QFETCH(int, precision);
    QFETCH(QString, text);
    char out[400];
    for (auto write : isFixed
                          ? std::array{&DecimalDigits::fixed, &DecimalDigits::fixedByPrintf}
                          : std::array{&DecimalDigits::general, &DecimalDigits::generalByPrintf}) {
        char* end = write(out, out + sizeof out, value, precision);
        QCOMPARE(QLatin1StringView(out, end - out), text);
    }
}

void TestDecimalDigits::bothWaysRead_data()
{
    // Digits before and after the period, leading zeros after it, how many texts.
    QTest::addColumn<int>("maxWhole");
    QTest::addColumn<int>("maxFraction");
    QTest::addColumn<int>("maxZeros");
    QTest::addColumn<int>("count");
    QTest::newRow("settings as typed") << 6 << 6 << 0 << 200'000;
    QTest::newRow("many digits, halfway cases") << 20 << 20 << 0 << 200'000;
    QTest::newRow("too large and near it") << 330 << 2 << 0 << 2'000;
    QTest::newRow("tiny, subnormal, too small") << 1 << 20 << 330 << 20'000;
}

void TestDecimalDigits::bothWaysRead()
{
    if (!DecimalDigits::hasToChars())
        QSKIP("this C++ library has no floating-point std::from_chars");
    QFETCH(int, maxWhole);
    QFETCH(int, maxFraction);
    QFETCH(int, maxZeros);
    QFETCH(int, count);
    std::mt19937_64 random(static_cast<unsigned>(maxWhole * 1000 + maxZeros));
    std::string text;
    for (int i = 0; i < count; ++i) {
        text.clear();
        const auto digits = [&](int most) {
            const int n = static_cast<int>(random() % static_cast<unsigned>(most + 1));
            for (int d = 0; d < n; ++d)
                text.push_back(static_cast<char>('0' + random() % 10));
        };
        digits(maxWhole);
        if (random() % 4 != 0) {
            text.push_back('.');
            text.append(static_cast<std::size_t>(random() % static_cast<unsigned>(maxZeros + 1)),
                        '0');
            digits(maxFraction);
            if (random() % 3 == 0)
                text.push_back('5'); // often exactly halfway between two doubles' texts
        }
        if (random() % 16 == 0)
            text.append(".7"); // a second period ends the number
        double a = -1;
        double b = -1;
        const char* first = text.data();
        const char* last = text.data() + text.size();
        const auto ra = DecimalDigits::fixedValueByFromChars(first, last, a);
        const auto rb = DecimalDigits::fixedValueByStrtod(first, last, b);
        if (ra.ec != rb.ec || ra.ptr != rb.ptr ||
            (ra.ec == std::errc() && std::memcmp(&a, &b, sizeof a) != 0))
            QFAIL(qPrintable(QStringLiteral("\"%1\": from_chars %2 (%3, %4), strtod %5 (%6, %7)")
                                 .arg(QString::fromStdString(text))
                                 .arg(a, 0, 'g', 17)
                                 .arg(int(ra.ec))
                                 .arg(ra.ptr - first)
                                 .arg(b, 0, 'g', 17)
                                 .arg(int(rb.ec))
                                 .arg(rb.ptr - first)));
    }
}

QTEST_APPLESS_MAIN(TestDecimalDigits)
#include "tst_decimaldigits.moc"
