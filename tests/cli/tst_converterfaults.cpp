// Faults while the plot file is written, met by the converter as a user meets them: a full
// disk, a file-size limit, a read-only file system, a folder in the way, the program killed
// half way. Each time the previous out.plt stays as it was, no partial file is left, and the
// message names the path and the reason.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QByteArray OldPlot = "the previous plot\r\n";

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(data), data.size());
}

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
    QString err;
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
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

} // namespace

class TestConverterFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fileSizeLimitMidFile();
    void diskFullMidFile();
    void readOnlyFileSystem();
    void outputIsAFolder();
    void killedHalfWayLeavesNothing();

private:
    QTemporaryDir m_pictures;
    QString m_stripes;
};

void TestConverterFaults::initTestCase()
{
    QVERIFY(m_pictures.isValid());
    // 400 × 300 pixels, 60000 segments: well over a megabyte of plot.
    m_stripes = stripedPicture(m_pictures.path(), 400, 300);
    QVERIFY(QFile::exists(m_stripes));
}

void TestConverterFaults::fileSizeLimitMidFile()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("out.plt"), OldPlot);
    // As `ulimit -f` would: the converter must turn the limit into a reported error.
    const Outcome outcome = convert(dir.path(), {m_stripes}, [] {
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = 20000;
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    QCOMPARE(outcome.exitCode, 1);
    QCOMPARE(outcome.err, "kelviq-convert: Cannot write the plot file " + dir.filePath("out.plt") +
                              ": File too large The previous out.plt, if any, is unchanged.\n");
    QCOMPARE(readFile(dir.filePath("out.plt")), OldPlot);
    QCOMPARE(entries(dir.path()), QStringList{"out.plt"});
}

void TestConverterFaults::diskFullMidFile()
{
    ScratchFileSystem disk("64k");
    if (!disk.mounted())
        QSKIP(qPrintable(disk.skipReason()));
    writeFile(disk.path() + "/out.plt", OldPlot);
    const Outcome outcome = convert(disk.path(), {m_stripes});
    QCOMPARE(outcome.exitCode, 1);
    QCOMPARE(outcome.err, "kelviq-convert: Cannot write the plot file " + disk.path() +
                              "/out.plt: No space left on device The previous out.plt, if any, "
                              "is unchanged.\n");
    QCOMPARE(readFile(disk.path() + "/out.plt"), OldPlot);
    QCOMPARE(entries(disk.path()), QStringList{"out.plt"});

    // Once there is room again, the same run goes through.
    const Outcome small =
        convert(disk.path(), {"--output", "small.plt", stripedPicture(disk.path(), 8, 2)});
    QCOMPARE(small.exitCode, 0);
}

void TestConverterFaults::readOnlyFileSystem()
{
    ScratchFileSystem disk("1m");
    if (!disk.mounted())
        QSKIP(qPrintable(disk.skipReason()));
    writeFile(disk.path() + "/out.plt", OldPlot);
    QVERIFY(disk.makeReadOnly());
    const Outcome outcome = convert(disk.path(), {m_stripes});
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY2(outcome.err.startsWith("kelviq-convert: Cannot create the plot file " + disk.path() +
                                    "/out.plt: "),
             qPrintable(outcome.err));
    QVERIFY2(outcome.err.contains("not writable"), qPrintable(outcome.err));
    QCOMPARE(readFile(disk.path() + "/out.plt"), OldPlot);
    QCOMPARE(entries(disk.path()), QStringList{"out.plt"});
}

void TestConverterFaults::outputIsAFolder()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("out.plt"));
    writeFile(dir.filePath("out.plt/keep"), OldPlot);
    const Outcome outcome = convert(dir.path(), {m_stripes});
    QCOMPARE(outcome.exitCode, 1);
    QCOMPARE(outcome.err, "kelviq-convert: Cannot create the plot file " + dir.filePath("out.plt") +
                              ": Filename refers to a directory\n");
    QCOMPARE(readFile(dir.filePath("out.plt/keep")), OldPlot);
    QCOMPARE(entries(dir.path()), QStringList{"out.plt"});
}

// Killed while writing (the session ends, the power fails): the old plot is still there and
// no half-written file lies beside it.
void TestConverterFaults::killedHalfWayLeavesNothing()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("out.plt"), OldPlot);
    const QString big = stripedPicture(m_pictures.path(), 4000, 3000); // 6 million segments
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

QTEST_GUILESS_MAIN(TestConverterFaults)
#include "tst_converterfaults.moc"
