#include "PlotWriter.h"

#include <QBuffer>
#include <QTest>
#include <limits>

using namespace kelviq;

namespace {

// A device that takes a given number of bytes and then reports the disk full.
class FullDevice : public QIODevice
{
public:
    explicit FullDevice(qint64 room) : m_room(room) { open(QIODevice::WriteOnly); }
    QByteArray data;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* bytes, qint64 length) override
    {
        const qint64 n = std::min(length, m_room - qint64(data.size()));
        if (n <= 0) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        data.append(bytes, n);
        return n;
    }

private:
    qint64 m_room;
};

} // namespace

class TestPlotWriter : public QObject
{
    Q_OBJECT

private slots:
    void recordsAreThreeLines_data();
    void recordsAreThreeLines();
    void largeOutputArrivesWhole();
    void fullDeviceIsReported();
};

void TestPlotWriter::recordsAreThreeLines_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<QList<double>>("points");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("fractional width") << 750.0 << QList<double>{1.5, 0, 30.000000000000004, 0}
                                      << QByteArray("259\r\n750 2\r\n1.5 0 30 0\r\n");
    QTest::newRow("zero width, zero length")
        << 0.0 << QList<double>{400, 0, 400, 0} << QByteArray("259\r\n0 2\r\n400 0 400 0\r\n");
    QTest::newRow("negative coordinates") << 1000.0 << QList<double>{-0.0, -200, -400, -200}
                                          << QByteArray("259\r\n1000 2\r\n0 -200 -400 -200\r\n");
    // Tiny values in full digits make the longest texts: none may be cut or overrun.
    const QByteArray tiny = "0." + QByteArray(323, '0') + "494065645841247";
    const double least = std::numeric_limits<double>::denorm_min();
    QTest::newRow("longest numbers") << least << QList<double>{-least, least, 1e-300, -least}
                                     << "259\r\n" + tiny + " 2\r\n-" + tiny + ' ' + tiny + " 0." +
                                            QByteArray(299, '0') + "1 -" + tiny + "\r\n";
}

void TestPlotWriter::recordsAreThreeLines()
{
    QFETCH(double, width);
    QFETCH(QList<double>, points);
    QFETCH(QByteArray, expected);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    PlotWriter writer(&buffer);
    writer.setLineWidth(width);
    QVERIFY(writer.StartSegment(points[0], points[1]));
    QVERIFY(writer.EndSegment(points[2], points[3]));
    QVERIFY(writer.flush());
    QCOMPARE(buffer.data(), expected);
}

void TestPlotWriter::largeOutputArrivesWhole()
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    PlotWriter writer(&buffer);
    QVERIFY(writer.WriteHeader());
    const int records = 200000; // several times the buffer
    for (int i = 0; i < records; ++i) {
        QVERIFY(writer.StartSegment(i, 7));
        QVERIFY(writer.EndSegment(i + 1, 7));
    }
    QVERIFY(writer.flush());
    QCOMPARE(writer.bytesWritten(), buffer.size());
    const QList<QByteArray> lines = buffer.data().split('\n');
    QCOMPARE(lines.size(), 19 + 3 * records + 1);
    QCOMPARE(lines[19 + 3 * 12345 + 2], QByteArray("12345 7 12346 7\r"));
    QVERIFY(lines.last().isEmpty());
}

void TestPlotWriter::fullDeviceIsReported()
{
    FullDevice device(5000);
    PlotWriter writer(&device);
    writer.WriteHeader();
    for (int i = 0; i < 100000; ++i) {
        writer.StartSegment(i, 0);
        writer.EndSegment(i, 0);
    }
    QVERIFY(!writer.flush());
    QVERIFY(writer.failed());
    QCOMPARE(writer.errorString(), QStringLiteral("No space left on device"));
    // Once failed, nothing more is written and nothing claims success.
    QVERIFY(!writer.StartSegment(1, 1) || !writer.flush());
    QCOMPARE(device.data.size(), 5000);
}

QTEST_GUILESS_MAIN(TestPlotWriter)
#include "tst_plotwriter.moc"
