// The headless converter as a user meets it: its settings, where its plots go (files, links to
// the picture, devices, FIFOs, standard output), faults while they are written, many pictures
// at once, and its messages. On a fault every earlier file stays as it was, no partial file is
// left, and the one line on standard error names the file and the reason.
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <pty.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

using testfiles::PlotHeader;
using testfiles::readFile;
using testfiles::writeFile;

namespace {

const QByteArray OldPlot = "the previous plot\r\n";

QStringList entries(const QString& folder)
{
    QStringList list = QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries |
                                              QDir::Hidden | QDir::System);
    list.sort();
    return list;
}

// Black and white columns: one segment per two pixels, so the plot grows large fast.
QString stripedPicture(const QString& folder, int width, int height)
{
    QImage image(width, height, QImage::Format_Mono);
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < height; ++y)
        std::memset(image.scanLine(y), 0x55, static_cast<std::size_t>(image.bytesPerLine()));
    const QString path = folder + QStringLiteral("/stripes-%1.bmp").arg(width);
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

// Runs the converter with these exact argument bytes (names need not be valid UTF-8).
// inChild runs in the new process just before the converter starts.
Outcome convertBytes(const QString& folder, const QList<QByteArray>& arguments,
                     const std::function<void()>& inChild = {})
{
    // Everything the child needs is made here: after fork it only calls execv.
    auto bytes = std::make_shared<QList<QByteArray>>(arguments);
    bytes->prepend(KELVIQ_CONVERT_EXE);
    auto argv = std::make_shared<std::vector<char*>>();
    for (QByteArray& argument : *bytes)
        argv->push_back(argument.data());
    argv->push_back(nullptr);

    QProcess process;
    process.setWorkingDirectory(folder);
    // The system's reasons in their English words, whatever the machine's language.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.setChildProcessModifier([inChild, bytes, argv] {
        if (inChild)
            inChild();
        ::execv(argv->front(), argv->data());
        ::_exit(127);
    });
    process.start(QStringLiteral(KELVIQ_CONVERT_EXE), {});
    process.waitForFinished(60000);
    Outcome outcome;
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = process.readAllStandardOutput();
    outcome.err = process.readAllStandardError();
    return outcome;
}

Outcome convert(const QString& folder, const QStringList& arguments,
                const std::function<void()>& inChild = {})
{
    QList<QByteArray> bytes;
    for (const QString& argument : arguments)
        bytes.append(argument.toUtf8());
    return convertBytes(folder, bytes, inChild);
}

} // namespace

class TestConverter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void settings_data();
    void settings();
    void failuresSayWhatAndExitOne_data();
    void failuresSayWhatAndExitOne();
    void usageErrorsExitTwo_data();
    void usageErrorsExitTwo();
    void outputKinds_data();
    void outputKinds();
    void manyPictures_data();
    void manyPictures();
    void dryRunWritesNothing();
    void progressLineEndsBeforeAnError();
    void killedHalfWayLeavesNothing();

private:
    QTemporaryDir m_dir;
    QString m_colors;
    QString m_stripes;
    QString m_bigStripes;
    QByteArray m_stripesPlot; // made by a plain run, for the other ways of writing it
};

void TestConverter::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Red, blue, red, white: red and blue differ only in where their bits are.
    QImage colors(4, 1, QImage::Format_RGB888);
    colors.setPixel(0, 0, qRgb(255, 0, 0));
    colors.setPixel(1, 0, qRgb(0, 0, 255));
    colors.setPixel(2, 0, qRgb(255, 0, 0));
    colors.setPixel(3, 0, qRgb(255, 255, 255));
    m_colors = m_dir.filePath("colors.bmp");
    QVERIFY(colors.save(m_colors, "BMP"));
    QVERIFY(writeFile(m_dir.filePath("notes.txt"), "not a picture\n"));
    // 400 × 300 pixels, 60000 segments: well over a megabyte of plot.
    m_stripes = stripedPicture(m_dir.path(), 400, 300);
    // 16 megapixels, 8 million segments: long enough to watch and to interrupt.
    m_bigStripes = stripedPicture(m_dir.path(), 4000, 4000);
    QVERIFY(QFile::exists(m_stripes) && QFile::exists(m_bigStripes));
    QCOMPARE(convert(m_dir.path(), {"--quiet", "--output", "stripes.plt", m_stripes}).exitCode, 0);
    m_stripesPlot = readFile(m_dir.filePath("stripes.plt"));
    QVERIFY(QFile::remove(m_dir.filePath("stripes.plt")));
    QVERIFY(m_stripesPlot.startsWith(PlotHeader));
}

void TestConverter::settings_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("records"); // what follows the header in the plot
    QTest::newRow("black by default: none here") << QStringList{"colors.bmp"} << QByteArray();
    QTest::newRow("red, not blue")
        << QStringList{"--color", "FF0000", "colors.bmp"}
        << QByteArray("259\r\n1000 2\r\n0 0 200 0\r\n259\r\n1000 2\r\n400 0 600 0\r\n");
    QTest::newRow("blue, with #") << QStringList{"--color", "#0000ff", "colors.bmp"}
                                  << QByteArray("259\r\n1000 2\r\n200 0 400 0\r\n");
    QTest::newRow("picked, scale and thickness")
        << QStringList{"--pick", "1,0", "--scale", "0.1", "--thickness", "7.5", "colors.bmp"}
        << QByteArray("259\r\n750 2\r\n10 0 20 0\r\n");
    QTest::newRow("10^15 in exponent form")
        << QStringList{"--color", "FFFFFF", "--scale", "3333333333333.34", "colors.bmp"}
        << QByteArray("259\r\n1000 2\r\n1e+15 0 1e+15 0\r\n");
    QTest::newRow("tiny scale in plain digits")
        << QStringList{"--color", "0000FF", "--scale", "0.0000001", "colors.bmp"}
        << QByteArray("259\r\n1000 2\r\n0.00001 0 0.00002 0\r\n");
}

void TestConverter::settings()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, records);
    QTemporaryDir dir;
    const Outcome outcome = convert(dir.path(), arguments.replaceInStrings("colors.bmp", m_colors));
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY(outcome.err.isEmpty());
    QCOMPARE(readFile(dir.filePath("out.plt")), PlotHeader + records);
    QCOMPARE(outcome.out, QStringLiteral("%1 segments from %2 (4 x 1 pixels) written to %3\n")
                              .arg(records.count("259"))
                              .arg(m_colors, dir.filePath("out.plt"))
                              .toUtf8());
}

void TestConverter::failuresSayWhatAndExitOne_data()
{
    QTest::addColumn<QList<QByteArray>>("arguments");
    QTest::addColumn<QString>("message");
    using Args = QList<QByteArray>;
    QTest::newRow("missing picture")
        << Args{"nothing.bmp"} << "Cannot read the picture nothing.bmp: the file does not exist";
    QTest::newRow("not a picture") << Args{"notes.txt"} << "Cannot read the picture notes.txt:";
    QTest::newRow("name with a line break, on one line")
        << Args{"no\nthing\t.bmp"} << "Cannot read the picture no\\nthing\\t.bmp:";
    QTest::newRow("picture name not UTF-8")
        << Args{"caf\xe9.bmp"}
        << "Cannot read the picture caf\\xE9.bmp: its name is not valid UTF-8";
    QTest::newRow("bad scale") << Args{"--scale", "2,5", "colors.bmp"}
                               << "The scale \"2,5\" is not a number.";
    QTest::newRow("scale of 400 digits") << Args{"--scale", QByteArray(400, '9'), "colors.bmp"}
                                         << "The scale \"" + QString(400, '9') + "\" is too large.";
    QTest::newRow("bad thickness")
        << Args{"--thickness", "x", "colors.bmp"} << "The line thickness \"x\" is not a number.";
    QTest::newRow("pick outside")
        << Args{"--pick", "4,0", "colors.bmp"}
        << "--pick 4,0 lies outside the picture colors.bmp (4 × 1 pixels)";
    // Output names that cannot be used are refused before the picture is even looked at.
    QTest::newRow("output folder missing")
        << Args{"--output", "no/such/x.plt", "nothing.bmp"} << "Cannot create the plot file ";
    QTest::newRow("output name too long")
        << Args{"--output", QByteArray(300, 'x'), "nothing.bmp"} << "Cannot create the plot file ";
    QTest::newRow("output name not UTF-8")
        << Args{"--output=\xff.plt", "nothing.bmp"}
        << "Cannot create the plot file \\xFF.plt: its name is not valid UTF-8";
}

void TestConverter::failuresSayWhatAndExitOne()
{
    QFETCH(QList<QByteArray>, arguments);
    QFETCH(QString, message);
    const Outcome outcome = convertBytes(m_dir.path(), arguments);
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY(outcome.out.isEmpty());
    const QString err = QString::fromUtf8(outcome.err);
    QVERIFY2(err.startsWith("kelviq-convert: " + message), qPrintable(err));
    QCOMPARE(err.count('\n'), 1);
    QVERIFY(!err.contains("out.plt"));
    QCOMPARE(entries(m_dir.path()).filter(".plt"), QStringList());
}

void TestConverter::usageErrorsExitTwo_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no picture") << QStringList{};
    QTest::newRow("unknown option") << QStringList{"--colour", "000000", "a.bmp"};
    QTest::newRow("bad colour") << QStringList{"--color", "black", "a.bmp"};
    QTest::newRow("bad pick") << QStringList{"--pick", "1;2", "a.bmp"};
    QTest::newRow("colour and pick") << QStringList{"--color", "000000", "--pick", "0,0", "a.bmp"};
    QTest::newRow("empty output") << QStringList{"--output", "", "a.bmp"};
    QTest::newRow("output for two pictures") << QStringList{"--output", "x.plt", "a.bmp", "b.bmp"};
    QTest::newRow("output and output folder")
        << QStringList{"--output", "x.plt", "--output-dir", "d", "a.bmp"};
}

void TestConverter::usageErrorsExitTwo()
{
    QFETCH(QStringList, arguments);
    const Outcome outcome = convert(m_dir.path(), arguments);
    QCOMPARE(outcome.exitCode, 2);
    QVERIFY(outcome.err.startsWith("kelviq-convert: "));
}

void TestConverter::outputKinds_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // start of standard error, <out> for the path
    const QString isPicture = "Cannot create the plot file <out>: it is the picture being "
                              "converted";
    QTest::newRow("the picture itself") << "picture"
                                        << "p.bmp" << 1 << isPicture;
    QTest::newRow("hard link to the picture") << "hard link"
                                              << "h.bmp" << 1 << isPicture;
    QTest::newRow("symbolic link to the picture") << "symbolic link"
                                                  << "s.bmp" << 1 << isPicture;
    QTest::newRow("null device") << "null"
                                 << "null" << 0 << "";
    QTest::newRow("full device") << "full"
                                 << "full" << 1
                                 << "Cannot write the plot file <out>: No space left on device\n";
    QTest::newRow("FIFO") << "fifo"
                          << "fifo" << 0 << "";
    QTest::newRow("standard output") << "standard output"
                                     << "-" << 0 << "";
    QTest::newRow("deleted current folder")
        << "deleted"
        << "x.plt" << 1 << "Cannot create the plot file x.plt: the current folder no longer exists";
    QTest::newRow("read-only file, other owner: kept") << "kept 0444"
                                                       << "x.plt" << 0 << "";
    QTest::newRow("private file: kept") << "kept 0600"
                                        << "x.plt" << 0 << "";
    QTest::newRow("new file: the umask decides") << "umask 027"
                                                 << "x.plt" << 0 << "";
    const QString kept = " The previous x.plt, if any, is unchanged.\n";
    QTest::newRow("file-size limit")
        << "limit"
        << "x.plt" << 1 << "Cannot write the plot file <out>: File too large" + kept;
    QTest::newRow("disk full") << "64k"
                               << "x.plt" << 1
                               << "Cannot write the plot file <out>: No space left on device" +
                                      kept;
    QTest::newRow("read-only file system") << "read-only"
                                           << "x.plt" << 1 << "Cannot create the plot file <out>: ";
    QTest::newRow("a folder in the way") << "folder"
                                         << "x.plt" << 1
                                         << "Cannot create the plot file <out>: Filename refers "
                                            "to a directory\n";
}

// Where the plot goes decides how it is written: a file is replaced whole, keeping what it
// was, or not at all; a device or FIFO is written to as it is; the picture is never written
// over. On a failure every file stays as it was and nothing is left beside them.
void TestConverter::outputKinds()
{
    QFETCH(QString, kind);
    QFETCH(QString, output);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir plain;
    std::unique_ptr<ScratchFileSystem> disk;
    if (kind == "64k" || kind == "read-only") {
        disk = std::make_unique<ScratchFileSystem>(kind == "64k" ? "64k" : "1m");
        if (!disk->mounted())
            QSKIP(qPrintable(disk->skipReason()));
    }
    const QString folder = disk ? disk->path() : plain.path();
    const QString picture = folder + "/p.bmp";
    QVERIFY(QFile::copy(m_stripes, picture));
    const QString out = folder + '/' + output;
    std::function<void()> inChild;
    std::unique_ptr<std::thread> reader;
    QByteArray fromFifo;
    if (kind == "hard link")
        QCOMPARE(::link(qPrintable(picture), qPrintable(out)), 0);
    if (kind == "symbolic link")
        QVERIFY(QFile::link("p.bmp", out));
    if (kind == "null" || kind == "full") {
        // Private device nodes, so that nothing outside the test can be hurt.
        if (geteuid() != 0)
            QSKIP("making device nodes needs root");
        QCOMPARE(::mknod(qPrintable(out), S_IFCHR | 0666, makedev(1, kind == "null" ? 3 : 7)), 0);
    }
    if (kind == "fifo") {
        QCOMPARE(::mkfifo(qPrintable(out), 0600), 0);
        reader = std::make_unique<std::thread>([&] {
            QFile fifo(out);
            if (fifo.open(QIODevice::ReadOnly))
                fromFifo = fifo.readAll();
        });
    }
    if (kind == "deleted") {
        const QByteArray gone = QFile::encodeName(folder + "/gone");
        QVERIFY(QDir(folder).mkdir("gone"));
        inChild = [gone] {
            if (::chdir(gone.constData()) != 0 || ::rmdir(gone.constData()) != 0)
                ::_exit(99);
        };
    }
    struct stat old = {};
    if (kind.startsWith("kept") || kind == "limit" || kind == "64k" || kind == "read-only")
        QVERIFY(writeFile(out, OldPlot));
    if (kind == "folder")
        QVERIFY(QDir(folder).mkdir(output) && writeFile(out + "/keep", OldPlot));
    if (kind.startsWith("kept")) {
        QCOMPARE(::chmod(qPrintable(out), kind.endsWith("0444") ? 0444 : 0600), 0);
        if (kind.endsWith("0444") && geteuid() == 0)
            QCOMPARE(::chown(qPrintable(out), 65534, 65534), 0);
        QCOMPARE(::stat(qPrintable(out), &old), 0);
    }
    if (kind == "read-only")
        QVERIFY(disk->makeReadOnly());
    if (kind == "umask 027")
        inChild = [] { ::umask(027); };
    if (kind == "limit") // as `ulimit -f` would: the limit must become a reported error
        inChild = [] {
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = 20000;
            setrlimit(RLIMIT_FSIZE, &limit);
        };
    QStringList before = entries(folder);
    before.removeAll("gone"); // deleted by the converter's process on its way in
    QMap<QString, QByteArray> contents;
    for (const QString& name : {QString("p.bmp"), output, output + "/keep"})
        if (QFileInfo(folder + '/' + name).isFile())
            contents.insert(name, readFile(folder + '/' + name));

    const Outcome outcome = convert(folder, {"--output", output, "p.bmp"}, inChild);
    if (reader)
        reader->join();
    QCOMPARE(outcome.exitCode, exitCode);
    if (!message.isEmpty())
        message = "kelviq-convert: " + message.replace("<out>", out);
    QVERIFY2(outcome.err.startsWith(message.toUtf8()), outcome.err);
    if (exitCode != 0 || !QFileInfo(out).isFile())
        QCOMPARE(entries(folder), before);
    if (exitCode != 0) {
        QVERIFY(outcome.out.isEmpty());
        for (auto kept = contents.cbegin(); kept != contents.cend(); ++kept)
            QCOMPARE(readFile(folder + '/' + kept.key()), kept.value());
        return;
    }
    const QByteArray summary = "60000 segments from p.bmp (400 x 300 pixels) written to ";
    if (kind == "standard output") {
        QCOMPARE(outcome.out, m_stripesPlot);
        QCOMPARE(outcome.err, summary + "standard output\n");
        return;
    }
    QCOMPARE(outcome.out, summary + out.toUtf8() + "\n");
    QVERIFY(outcome.err.isEmpty());
    struct stat now = {};
    QCOMPARE(::stat(qPrintable(out), &now), 0);
    if (kind == "null" || kind == "fifo") {
        QCOMPARE(now.st_mode & S_IFMT, kind == "null" ? S_IFCHR : S_IFIFO);
        if (kind == "fifo")
            QCOMPARE(fromFifo, m_stripesPlot);
        return;
    }
    QCOMPARE(readFile(out), m_stripesPlot);
    if (kind.startsWith("kept")) {
        QCOMPARE(now.st_mode, old.st_mode);
        QCOMPARE(now.st_uid, old.st_uid);
        QCOMPARE(now.st_gid, old.st_gid);
    } else {
        QCOMPARE(now.st_mode & 0777, 0640u);
    }
}

void TestConverter::manyPictures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("plots");  // every .plt file afterwards
    QTest::addColumn<QStringList>("errors"); // the start of each line on standard error
    QTest::newRow("one bad among good, into a new folder")
        << QStringList{"--output-dir", "plots",     "a/one.bmp",
                       "notes.txt",    "b/two.bmp", "nothing.bmp"}
        << 1 << QStringList{"plots/one.plt", "plots/two.plt"}
        << QStringList{"Cannot read the picture notes.txt", "Cannot read the picture nothing.bmp"};
    QTest::newRow("each beside its picture")
        << QStringList{"a/one.bmp", "b/two.bmp"} << 0 << QStringList{"a/one.plt", "b/two.plt"}
        << QStringList{};
    QTest::newRow("two pictures, one plot name")
        << QStringList{"a/one.bmp", "a/one.png"} << 1 << QStringList{"a/one.plt"}
        << QStringList{"Cannot create the plot file <dir>/a/one.plt for a/one.png: a/one.bmp, "
                       "given before, has a plot of the same name"};
    QTest::newRow("a plot that would replace another picture")
        << QStringList{"a/one.bmp", "a/one.plt"} << 1 << QStringList{}
        << QStringList{"Cannot create the plot file <dir>/a/one.plt: it is the picture",
                       "Cannot create the plot file <dir>/a/one.plt for a/one.plt"};
}

// Each picture converts on its own: a failure costs its one line, the others still convert.
void TestConverter::manyPictures()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, plots);
    QFETCH(QStringList, errors);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("a") && QDir(dir.path()).mkpath("b"));
    QVERIFY(QFile::copy(m_dir.filePath("notes.txt"), dir.filePath("notes.txt")));
    for (const QString& name : arguments)
        if (name.startsWith("a/") || name.startsWith("b/"))
            QVERIFY(QFile::copy(m_colors, dir.filePath(name)));
    const QByteArray picture = readFile(m_colors);

    const Outcome outcome = convert(dir.path(), QStringList{"--color", "FF0000"} + arguments);
    QCOMPARE(outcome.exitCode, exitCode);
    QStringList found; // plots, not pictures that happen to be called .plt
    for (const QString folder : {"", "a/", "b/", "plots/"})
        for (const QString& name : QDir(dir.filePath(folder)).entryList({"*.plt"}, QDir::Files))
            if (readFile(dir.filePath(folder + name)) != picture)
                found << folder + name;
    QCOMPARE(found, plots);
    for (const QString& plot : plots)
        QVERIFY(readFile(dir.filePath(plot)).startsWith(PlotHeader));
    // One line per picture, in the order given.
    QCOMPARE(outcome.out.count('\n'), plots.size());
    const QList<QByteArray> lines = outcome.err.split('\n');
    QCOMPARE(lines.size(), errors.size() + 1);
    for (int i = 0; i < errors.size(); ++i) {
        const QByteArray expected =
            "kelviq-convert: " + QString(errors[i]).replace("<dir>", dir.path()).toUtf8();
        QVERIFY2(lines[i].startsWith(expected), lines[i]);
    }
}

// A dry run reads and traces, counts exactly the bytes a real run writes, and writes nothing:
// not the plot, not its folder. --quiet says nothing on success.
void TestConverter::dryRunWritesNothing()
{
    QTemporaryDir dir;
    const QString picture = dir.filePath("p.bmp");
    QVERIFY(QFile::copy(m_colors, picture));
    const Outcome dry = convert(dir.path(), {"--dry-run", "--scale", "2.5", "--output-dir", "new",
                                             "--color", "FF0000", "p.bmp"});
    QCOMPARE(dry.exitCode, 0);
    QCOMPARE(entries(dir.path()), QStringList{"p.bmp"});
    const Outcome real = convert(dir.path(), {"--quiet", "--scale", "2.5", "--output-dir", "new",
                                              "--color", "FF0000", "p.bmp"});
    QCOMPARE(real.exitCode, 0);
    QVERIFY(real.out.isEmpty() && real.err.isEmpty());
    const qint64 bytes = QFileInfo(dir.filePath("new/p.plt")).size();
    QCOMPARE(dry.out, QStringLiteral("dry run: 2 segments, %1 bytes from p.bmp (4 x 1 pixels, 10 x "
                                     "2.5 mils, 0.254 x 0.064 mm) would be written to %2\n")
                          .arg(bytes)
                          .arg(dir.filePath("new/p.plt"))
                          .toUtf8());
}

// At a terminal a large picture shows its progress; a failure half way must not be appended
// to that line.
void TestConverter::progressLineEndsBeforeAnError()
{
    int master = -1;
    int terminal = -1;
    QCOMPARE(::openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    QTemporaryDir dir;
    const Outcome outcome = convert(dir.path(), {m_bigStripes}, [terminal] {
        ::dup2(terminal, STDERR_FILENO);
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = 20'000'000; // fails about a fifth of the way
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    ::close(terminal);
    QByteArray shown;
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, n);
    ::close(master);
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY2(shown.contains("Converting:"), shown);
    QVERIFY2(shown.contains("%\r\nkelviq-convert: Cannot write the plot file"), shown);
}

// Killed while writing (the session ends, the power fails): the old plot is still there and
// no half-written file lies beside it.
void TestConverter::killedHalfWayLeavesNothing()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("out.plt"), OldPlot));
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(QStringLiteral(KELVIQ_CONVERT_EXE), {m_bigStripes});
    QVERIFY(process.waitForStarted());
    // Wait until the plot is being written: an open file in the output folder with a megabyte
    // in it already.
    const QString proc = QStringLiteral("/proc/%1/").arg(process.processId());
    auto writing = [&] {
        for (const QString& fd : QDir(proc + "fd").entryList(QDir::System | QDir::Files)) {
            const QString target = QFile::symLinkTarget(proc + "fd/" + fd);
            QFile info(proc + "fdinfo/" + fd);
            if (target.startsWith(dir.path()) && info.open(QIODevice::ReadOnly) &&
                info.readLine().mid(4).trimmed().toLongLong() > (1 << 20))
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
