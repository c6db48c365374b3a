// The headless converter as a user meets it: its output, its settings, its usage errors, and
// faults while the plot file is written (a full disk, a file-size limit, a read-only file
// system, a folder in the way, the program killed half way). On a fault the previous out.plt
// stays as it was, no partial file is left, and the message names the path and the reason.
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

using testfiles::readFile;
using testfiles::writeFile;

namespace {

const QByteArray OldPlot = "the previous plot\r\n";

QStringList entries(const QString& folder)
{
    QStringList list =
        QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden);
    list.sort();
    return list;
}

// Black and white columns: one segment per two pixels, so the plot grows large fast.
QString stripedPicture(const QString& folder, int width, int height)
{
    QImage image(width, height, QImage::Format_Mono);
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, static_cast<uint>(x & 1));
    const QString path = folder + QStringLiteral("/stripes.bmp");
    image.save(path, "BMP");
    return path;
}

// A small file system of its own, mounted over a temporary folder for the length of a test.
class ScratchFileSystem
{
public:
    explicit ScratchFileSystem(const char* size)
    {
        if (geteuid() != 0) {
            m_skipReason = QStringLiteral("mounting a small file system needs root");
            return;
        }
        const QByteArray options = QByteArray("size=") + size;
        if (::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0,
                    options.constData()) != 0) {
            m_skipReason = QStringLiteral("cannot mount a small file system here: ") +
                           QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        m_mounted = true;
    }
    ~ScratchFileSystem()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    ScratchFileSystem(const ScratchFileSystem&) = delete;
    ScratchFileSystem& operator=(const ScratchFileSystem&) = delete;

    bool mounted() const { return m_mounted; }
    QString skipReason() const { return m_skipReason; }
    QString path() const { return m_dir.path(); }
    bool makeReadOnly()
    {
        return ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs",
                       MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_skipReason;
};

struct Outcome
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Outcome convert(const QString& folder, const QStringList& arguments,
                const std::function<void()>& inChild = {})
{
    QProcess process;
    process.setWorkingDirectory(folder);
    // The system's reasons in their English words, whatever the machine's language.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    if (inChild)
        process.setChildProcessModifier(inChild);
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
    void writeFaultsKeepThePreviousPlot_data();
    void writeFaultsKeepThePreviousPlot();
    void killedHalfWayLeavesNothing();

private:
    QTemporaryDir m_dir;
    QString m_picture;
    QByteArray m_records;
    QString m_stripes;
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
    QVERIFY(writeFile(m_dir.filePath("notes.txt"), "not a picture\n"));
    // 400 × 300 pixels, 60000 segments: well over a megabyte of plot.
    m_stripes = stripedPicture(m_dir.path(), 400, 300);
    QVERIFY(QFile::exists(m_stripes));
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

void TestConverter::writeFaultsKeepThePreviousPlot_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message"); // after "kelviq-convert: ", with <out> for the path
    QTest::newRow("file-size limit") << "limit"
                                     << "Cannot write the plot file <out>: File too large The "
                                        "previous out.plt, if any, is unchanged.\n";
    QTest::newRow("disk full") << "64k"
                               << "Cannot write the plot file <out>: No space left on device The "
                                  "previous out.plt, if any, is unchanged.\n";
    QTest::newRow("read-only file system") << "read-only"
                                           << "Cannot create the plot file <out>: ";
    QTest::newRow("out.plt is a folder")
        << "folder"
        << "Cannot create the plot file <out>: Filename refers to a directory\n";
}

void TestConverter::writeFaultsKeepThePreviousPlot()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    QTemporaryDir plain;
    std::unique_ptr<ScratchFileSystem> disk;
    if (fault == "64k" || fault == "read-only") {
        disk = std::make_unique<ScratchFileSystem>(fault == "64k" ? "64k" : "1m");
        if (!disk->mounted())
            QSKIP(qPrintable(disk->skipReason()));
    }
    const QString folder = disk ? disk->path() : plain.path();
    const QString out = folder + "/out.plt";
    const QString kept = fault == "folder" ? out + "/keep" : out;
    if (fault == "folder")
        QVERIFY(QDir(folder).mkdir("out.plt"));
    QVERIFY(writeFile(kept, OldPlot));
    if (fault == "read-only")
        QVERIFY(disk->makeReadOnly());
    std::function<void()> inChild;
    if (fault == "limit") // as `ulimit -f` would: the limit must become a reported error
        inChild = [] {
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = 20000;
            setrlimit(RLIMIT_FSIZE, &limit);
        };
    const Outcome outcome = convert(folder, {m_stripes}, inChild);
    QCOMPARE(outcome.exitCode, 1);
    const QString err = QString::fromUtf8(outcome.err);
    const QString expected = "kelviq-convert: " + QString(message).replace("<out>", out);
    if (fault == "read-only") {
        QVERIFY2(err.startsWith(expected), qPrintable(err));
        QVERIFY2(err.contains("not writable"), qPrintable(err));
    } else {
        QCOMPARE(err, expected);
    }
    QCOMPARE(readFile(kept), OldPlot);
    QCOMPARE(entries(folder), QStringList{"out.plt"});
}

// Killed while writing (the session ends, the power fails): the old plot is still there and
// no half-written file lies beside it.
void TestConverter::killedHalfWayLeavesNothing()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("out.plt"), OldPlot));
    const QString big = stripedPicture(m_dir.path(), 4000, 3000); // 6 million segments
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(QStringLiteral(KELVIQ_CONVERT_EXE), {big});
    QVERIFY(process.waitForStarted());
    // Wait until the plot is being written: an open file in the output folder.
    const QString fds = QStringLiteral("/proc/%1/fd").arg(process.processId());
    auto writing = [&] {
        for (const QString& fd :
             QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            char target[4096];
            const QByteArray link = QFile::encodeName(fds + QLatin1Char('/') + fd);
            const ssize_t length = ::readlink(link.constData(), target, sizeof target);
            if (length > 0 && QByteArray(target, length).startsWith(QFile::encodeName(dir.path())))
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(writing() || process.state() == QProcess::NotRunning, 20000);
    if (process.state() == QProcess::NotRunning)
        QSKIP(qPrintable("the conversion ended before it could be interrupted: " +
                         process.readAllStandardError() + process.readAllStandardOutput()));
    process.kill();
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    QCOMPARE(readFile(dir.filePath("out.plt")), OldPlot);
    QCOMPARE(entries(dir.path()), QStringList{"out.plt"});
}

QTEST_GUILESS_MAIN(TestConverter)
#include "tst_converter.moc"
