#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using testfiles::readFile;

namespace {

struct Outcome
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Outcome convert(const QString& folder, const QStringList& arguments)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral(KELVIQ_CONVERT_EXE), arguments);
    process.waitForFinished(60000);
    Outcome outcome;
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = process.readAllStandardOutput();
    outcome.err = process.readAllStandardError();
    return outcome;
}

} // namespace

class TestConverter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void convertsWithDefaults();
    void settingsFromTheCommandLine();
    void pickTakesTheColourUnderAPixel();
    void failuresSayWhatAndExitOne_data();
    void failuresSayWhatAndExitOne();
    void usageErrorsExitTwo_data();
    void usageErrorsExitTwo();
    void helpDescribesTheOptions();

private:
    QTemporaryDir m_dir;
    QString m_picture;
    QByteArray m_records;
};

void TestConverter::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // The worked example, saved as a 24-bit BMP: black at (0,0), (1,0) and (2,1).
    QImage image(3, 2, QImage::Format_RGB888);
    image.fill(Qt::white);
    image.setPixel(0, 0, qRgb(0, 0, 0));
    image.setPixel(1, 0, qRgb(0, 0, 0));
    image.setPixel(2, 1, qRgb(0, 0, 0));
    m_picture = m_dir.filePath("example.bmp");
    QVERIFY(image.save(m_picture, "BMP"));
    m_records = "259\r\n1000 2\r\n0 200 400 200\r\n259\r\n1000 2\r\n400 0 400 0\r\n";
}

void TestConverter::convertsWithDefaults()
{
    const Outcome outcome = convert(m_dir.path(), {"example.bmp"});
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY(outcome.err.isEmpty());
    const QByteArray plot = readFile(m_dir.filePath("out.plt"));
    QVERIFY(plot.endsWith(m_records));
    QCOMPARE(plot.count("\r\n"), 19 + 6);
    QCOMPARE(outcome.out, "2 segments from example.bmp (3 x 2 pixels) written to " +
                              m_dir.filePath("out.plt").toUtf8() + "\n");
}

void TestConverter::settingsFromTheCommandLine()
{
    const Outcome outcome =
        convert(m_dir.path(), {"--color", "FFFFFF", "--scale", "0.1", "--thickness", "7.5",
                               "--output", "white.plt", m_picture});
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY(readFile(m_dir.filePath("white.plt"))
                .endsWith("259\r\n750 2\r\n20 10 20 10\r\n259\r\n750 2\r\n0 0 20 0\r\n"));
}

void TestConverter::pickTakesTheColourUnderAPixel()
{
    const Outcome outcome =
        convert(m_dir.path(), {"--pick", "2,0", "--output", "p.plt", m_picture});
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY(readFile(m_dir.filePath("p.plt"))
                .endsWith("400 200 400 200\r\n259\r\n1000 2\r\n0 0 400 0\r\n"));
}

void TestConverter::failuresSayWhatAndExitOne_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing picture")
        << QStringList{"nothing.bmp"}
        << "Cannot read the picture nothing.bmp: the file does not exist";
    QTest::newRow("not a picture")
        << QStringList{"notes.txt"} << "Cannot read the picture notes.txt:";
    QTest::newRow("bad scale") << QStringList{"--scale", "2,5", "example.bmp"}
                               << "The scale \"2,5\" is not a number.";
    QTest::newRow("bad thickness") << QStringList{"--thickness", "x", "example.bmp"}
                                   << "The line thickness \"x\" is not a number.";
    QTest::newRow("pick outside") << QStringList{"--pick", "3,0", "example.bmp"}
                                  << "--pick 3,0 lies outside the picture (3 × 2 pixels)";
    QTest::newRow("unwritable output") << QStringList{"--output", "no/such/out.plt", "example.bmp"}
                                       << "Cannot create the plot file ";
}

void TestConverter::failuresSayWhatAndExitOne()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QFile notes(m_dir.filePath("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("not a picture\n");
    notes.close();
    const Outcome outcome = convert(m_dir.path(), arguments);
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY(outcome.out.isEmpty());
    const QString err = QString::fromUtf8(outcome.err);
    QVERIFY2(err.startsWith("kelviq-convert: " + message), qPrintable(err));
    QCOMPARE(err.count('\n'), 1);
}

void TestConverter::usageErrorsExitTwo_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no picture") << QStringList{};
    QTest::newRow("two pictures") << QStringList{"a.bmp", "b.bmp"};
    QTest::newRow("unknown option") << QStringList{"--colour", "000000", "a.bmp"};
    QTest::newRow("bad colour") << QStringList{"--color", "black", "a.bmp"};
    QTest::newRow("bad pick") << QStringList{"--pick", "1;2", "a.bmp"};
    QTest::newRow("colour and pick") << QStringList{"--color", "000000", "--pick", "0,0", "a.bmp"};
}

void TestConverter::usageErrorsExitTwo()
{
    QFETCH(QStringList, arguments);
    const Outcome outcome = convert(m_dir.path(), arguments);
    QCOMPARE(outcome.exitCode, 2);
    QVERIFY(outcome.err.startsWith("kelviq-convert: "));
}

void TestConverter::helpDescribesTheOptions()
{
    const Outcome outcome = convert(m_dir.path(), {"--help"});
    QCOMPARE(outcome.exitCode, 0);
    for (const char* option : {"--color", "--pick", "--scale", "--thickness", "--output"})
        QVERIFY2(outcome.out.contains(option), option);
}

QTEST_GUILESS_MAIN(TestConverter)
#include "tst_converter.moc"
