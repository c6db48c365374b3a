// The headless converter as a user meets it: its settings, where its plots go (files, links to
// the picture, devices, FIFOs, standard output), faults while they are written, many pictures
// at once, and its messages. On a fault every earlier file stays as it was, no partial file is
// left, and the one line on standard error names the file and the reason.
#include "support/LiteralPlot.h"
#include "support/RunConverter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

using namespace testfiles;

namespace {

const QByteArray OldPlot = "the previous plot\r\n";

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

} // namespace

class TestConverter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void settings_data();
    void settings();
    void failuresSayWhat_data();
    void failuresSayWhat();
    void outputKinds_data();
    void outputKinds();
    void plotsGoWhereTold_data();
    void plotsGoWhereTold();
    void dryRunWritesNothing();
    void progressLineEndsBeforeAnError();
    void killedHalfWayLeavesNothing();
    void turnedAsItsExifOrientationSays();
    void outOfMemoryIsToldAndTheBatchGoesOn();

private:
    void checkOutputKind(const QString& kind, const QString& output, int exitCode, QString message,
                         bool dryRun);

    QTemporaryDir m_dir;
    QString m_colors;
    QString m_stripes;
    QString m_bigStripes;
    QByteArray m_stripesPlot; // what every way of writing it must give
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
    QVERIFY(colors.save(m_colors, "BMP")); // at 96 dpi, as Qt writes them
    QByteArray undated = readFile(m_colors);
    undated.replace(38, 8, QByteArray(8, '\0')); // no pixels per metre
    QVERIFY(writeFile(m_dir.filePath("sizeless.bmp"), undated));
    QVERIFY(writeFile(m_dir.filePath("notes.txt"), "not a picture\n"));
    // 400 × 300 pixels, 60000 segments: well over a megabyte of plot.
    m_stripes = stripedPicture(m_dir.path(), 400, 300);
    // 16 megapixels, 8 million segments: long enough to watch and to interrupt.
    m_bigStripes = stripedPicture(m_dir.path(), 4000, 4000);
    QVERIFY(QFile::exists(m_stripes) && QFile::exists(m_bigStripes));
    m_stripesPlot = literalPlot(QImage(m_stripes), qRgb(0, 0, 0), 2, 10);
}

void TestConverter::settings_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("records"); // what follows the header in the plot
    QTest::addColumn<QString>("sized");      // the scale told when the size was asked for
    auto row = [](const char* name, const QStringList& arguments, const QList<QByteArray>& segments,
                  const QByteArray& width = "1000", const QString& sized = {}) {
        QByteArray records;
        for (const QByteArray& segment : segments)
            records += "259\r\n" + width + " 2\r\n" + segment + "\r\n";
        QTest::newRow(name) << arguments + QStringList{"colors.bmp"} << records << sized;
    };
    row("black by default: none here", {}, {});
    row("blue, with #", {"--color", "#0000ff"}, {"200 0 400 0"});
    row("near red, within the tolerance", {"--color", "FE0101", "--tolerance", "1"},
        {"0 0 200 0", "400 0 600 0"});
    row("all but black", {"--invert"}, {"0 0 600 0"});
    row("red pixels are specks under 2", {"--color", "FF0000", "--despeckle", "2"}, {});
    row("a plot 4 mils wide", {"--width", "4mil", "--invert"}, {"0 0 300 0"}, "1000",
        " at scale 1");
    row("picked, scale and thickness", {"--pick", "1,0", "--scale", "0.1", "--thickness", "7.5"},
        {"10 0 20 0"}, "750");
    row("the picture's own 96 dpi", {"--scale", "picture", "--invert"}, {"0 0 3125.00000000001 0"},
        "1000", " at scale 10.4166666666667");
}

void TestConverter::settings()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, records);
    QFETCH(QString, sized);
    QTemporaryDir dir;
    const ConverterOutcome outcome =
        runConverter(dir.path(), arguments.replaceInStrings("colors.bmp", m_colors));
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY(outcome.err.isEmpty());
    QCOMPARE(readFile(dir.filePath("out.plt")), PlotHeader + records);
    QCOMPARE(outcome.out, QStringLiteral("%1 segments from %2 (4 x 1 pixels%3) written to %4\n")
                              .arg(records.count("259"))
                              .arg(m_colors, sized, dir.filePath("out.plt"))
                              .toUtf8());
}

void TestConverter::failuresSayWhat_data()
{
    QTest::addColumn<QList<QByteArray>>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    auto row = [](const char* name, const QList<QByteArray>& arguments, const QString& message) {
        QTest::newRow(name) << arguments << 1 << message;
    };
    auto usage = [](const char* name, const QList<QByteArray>& arguments,
                    const QString& message = {}) {
        QTest::newRow(name) << arguments << 2 << message;
    };
    row("missing picture", {"nothing.bmp"},
        "Cannot read the picture nothing.bmp: the file does not exist");
    row("not a picture", {"notes.txt"}, "Cannot read the picture notes.txt:");
    row("name with a line break, on one line", {"no\nthing\t.bmp"},
        "Cannot read the picture no\\nthing\\t.bmp:");
    row("picture name not UTF-8", {"caf\xe9.bmp"},
        "Cannot read the picture caf\\xE9.bmp: its name is not valid UTF-8");
    row("bad scale", {"--scale", "2,5", "colors.bmp"}, "The scale \"2,5\" is not a number.");
    row("tolerance beyond 255", {"--tolerance", "256", "colors.bmp"},
        "The tolerance \"256\" is not a whole number");
    row("speck size not whole", {"--despeckle", "2.5", "colors.bmp"},
        "The speck size \"2.5\" is not a whole number");
    row("width without a unit", {"--width", "25", "colors.bmp"},
        "The plot width \"25\" cannot be used");
    row("no size in the picture", {"--scale", "picture", "sizeless.bmp"},
        "Cannot take the scale from the picture sizeless.bmp: it does not say how large it is");
    row("pick outside", {"--pick", "4,0", "colors.bmp"},
        "--pick 4,0 lies outside the picture colors.bmp (4 × 1 pixels).");
    // Beyond what the format holds for this picture: the setting given is named, and what fits.
    row("scale beyond KiCad's board", {"--format", "kicad", "--scale", "200000", "colors.bmp"},
        "The scale \"200000\" is too large for a KiCad footprint: the plot would reach 10160 mm "
        "from the footprint's centre, but KiCad reads lengths only up to 1518.485686 mm. The "
        "largest scale that fits this picture (4 × 1 pixels) is 29891.4.");
    row("width beyond Gerber's coordinates",
        {"--format", "gerber", "--width", "2000in", "colors.bmp"},
        "The plot width \"2000in\" is too large for a Gerber file: the plot would reach 1500 "
        "inches from its origin, but Gerber coordinates (format 3.6) reach only 999.999999 "
        "inches. The largest width that fits this picture (4 × 1 pixels) is 1333.33in.");
    row("output folder that is a file", {"--output-dir", "notes.txt", "colors.bmp"},
        "Cannot use the folder notes.txt: it is a file, not a folder.");
    // Output names that cannot be used are refused before the picture is even looked at.
    row("output folder missing", {"--output", "no/such/x.plt", "nothing.bmp"},
        "Cannot create the plot file ");
    row("output name too long", {"--output", QByteArray(300, 'x'), "nothing.bmp"},
        "Cannot create the plot file ");
    row("output name not UTF-8", {"--output=\xff.plt", "nothing.bmp"},
        "Cannot create the plot file \\xFF.plt: its name is not valid UTF-8");
    usage("no picture", {});
    usage("unknown option", {"--colour", "000000", "a.bmp"});
    usage("bad colour", {"--color", "black", "a.bmp"});
    usage("colour and pick", {"--color", "000000", "--pick", "0,0", "a.bmp"});
    usage("output for two pictures", {"--output", "x.plt", "a.bmp", "b.bmp"});
    usage("output and output folder", {"--output", "x.plt", "--output-dir", "d", "a.bmp"});
    usage("empty output", {"--output", "", "a.bmp"});
    usage("width and scale", {"--width", "1mm", "--scale", "2", "a.bmp"});
    usage("unknown format", {"--format", "dxf", "a.bmp"});
    // Settings no plot can be made with, whatever the picture: nothing is read.
    usage("scale 0", {"--scale", "0", "a.bmp"}, "The scale \"0\" must be more than 0.");
    usage("negative thickness", {"--thickness", "-5", "a.bmp"},
          "The line thickness \"-5\" is negative.");
    usage("zero thickness in a Gerber file", {"--format", "gerber", "--thickness", "0", "a.bmp"},
          "The line thickness \"0\" is too thin for a Gerber file");
    usage("unknown shape", {"--shape", "filled", "a.bmp"});
    usage("unknown side", {"--side", "back", "a.bmp"});
    usage("unknown layer", {"--layer", "paste", "a.bmp"});
    usage("outlines into out.plt", {"--shape", "outline", "a.bmp"});
    usage("outlines as IPF, whatever the name",
          {"--shape", "outline", "--format", "ipf", "--output", "x.svg", "a.bmp"});
}

// Wrong usage and settings no plot can be made with exit 2; anything else that fails exits 1
// with one line naming the file or setting and the reason, a sentence, and writes nothing.
void TestConverter::failuresSayWhat()
{
    QFETCH(QList<QByteArray>, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const ConverterOutcome outcome = runConverterBytes(m_dir.path(), arguments);
    QCOMPARE(outcome.exitCode, exitCode);
    QVERIFY(outcome.out.isEmpty());
    const QString err = QString::fromUtf8(outcome.err);
    QVERIFY2(err.startsWith("kelviq-convert: " + message), qPrintable(err));
    QCOMPARE(err.count('\n'), message.isEmpty() ? 2 : 1); // usage errors add a hint
    if (!message.isEmpty())
        QVERIFY2(err.endsWith(".\n"), qPrintable(err));
    QVERIFY(!err.contains("out.plt"));
    QCOMPARE(folderEntries(m_dir.path()).filter(".plt"), QStringList());
}

void TestConverter::outputKinds_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("dryExitCode"); // a dry run cannot know of a full disk
    QTest::addColumn<QString>(
        "message"); // start of standard error; <out> the path, <dir> the folder
    auto row = [](const char* name, const QString& kind, const QString& output, int exitCode,
                  const QString& message = {}, int dryExitCode = -1) {
        QTest::newRow(name) << kind << output << exitCode
                            << (dryExitCode < 0 ? exitCode : dryExitCode) << message;
    };
    const QString isPicture = "Cannot create the plot file <out>: it is the picture being";
    row("hard link to the picture", "hard link", "h.bmp", 1, isPicture);
    row("symbolic link to the picture", "symbolic link", "s.bmp", 1, isPicture);
    row("null device", "null", "null", 0);
    row("full device", "full", "full", 1,
        "Cannot write the plot file <out>: No space left on device.\n", 0);
    row("FIFO", "fifo", "fifo", 0);
    row("standard output", "standard output", "-", 0);
    // A name for one of the converter's own descriptors is written through that descriptor.
    row("append through /dev/stdout", "append", "/dev/stdout", 0);
    row("append through /dev/fd/1", "append", "/dev/fd/1", 0);
    row("pipe through /proc/self/fd/1", "pipe", "/proc/self/fd/1", 0);
    row("append through /dev/fd/9", "descriptor 9", "/dev/fd/9", 0);
    row("deleted current folder", "deleted", "x.plt", 1,
        "Cannot create the plot file x.plt: the current folder no longer exists");
    row("missing folder", "missing", "no/such/x.plt", 1,
        "Cannot create the plot file <out>: No such file or directory.\n");
    row("a folder in the way", "folder", "x.plt", 1,
        "Cannot create the plot file <out>: Filename refers to a directory.\n");
    row("read-only file, other owner: replaced, kept", "kept", "x.plt", 0);
    row("new file: the umask decides", "umask 027", "x.plt", 0);
    row("hard-linked file: written into", "hard linked", "x.plt", 0);
    row("someone else's file: written into", "as nobody", "x.plt", 0);
    row("file-size limit", "limit", "x.plt", 1,
        "Cannot write the plot file <out>: File too large. The previous x.plt, if any, is "
        "unchanged.\n",
        0);
    // Links in a sticky folder everyone may write to, as /tmp.
    row("shared folder: another user's link", "shared, nobody's link", "shared/x.plt", 1,
        "Cannot create the plot file <out>: <dir>/shared/x.plt is a symbolic link of nobody "
        "(user 65534) in <dir>/shared, a folder everyone may write to;");
    row("shared folder: the folder owner's link", "shared, owner's link", "shared/x.plt", 0);
    row("shared folder: my own link", "shared, my link", "shared/x.plt", 0);
}

// Where the plot goes decides how it is written: a file is replaced whole, keeping what it
// was, or written into when replacing it would detach its links or take it from its owner; a
// device or FIFO is written to as it is; a descriptor is written through; the picture is never
// written over, nor another user's file through a link in a shared folder. On a failure every
// file stays as it was and nothing is left beside them. A dry run fails where the real run
// does, in the same words, and writes nothing.
void TestConverter::outputKinds()
{
    QFETCH(QString, kind);
    QFETCH(QString, output);
    QFETCH(int, exitCode);
    QFETCH(int, dryExitCode);
    QFETCH(QString, message);
    if (geteuid() != 0 && (kind == "null" || kind == "full"))
        QSKIP("making device nodes needs root");
    if (geteuid() != 0 && kind == "as nobody")
        QSKIP("running the converter as another user needs root");
    if (geteuid() != 0 && (kind == "shared, nobody's link" || kind == "shared, owner's link"))
        QSKIP("giving a link or folder to another user needs root");
    checkOutputKind(kind, output, dryExitCode, message, true);
    if (!QTest::currentTestFailed())
        checkOutputKind(kind, output, exitCode, message, false);
}

void TestConverter::checkOutputKind(const QString& kind, const QString& output, int exitCode,
                                    QString message, bool dryRun)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QString picture = folder + "/p.bmp";
    QVERIFY(QFile::copy(m_stripes, picture));
    const QString out = output.startsWith('/') ? output : folder + '/' + output;
    const bool shared = kind.startsWith("shared");
    const QString file = shared ? folder + "/victim.plt" : out; // where the plot lands
    const QString log = folder + "/log";
    std::function<void()> inChild;
    std::unique_ptr<std::thread> reader;
    QByteArray fromFifo;
    if (kind == "hard link")
        QCOMPARE(::link(qPrintable(picture), qPrintable(out)), 0);
    if (kind == "symbolic link")
        QVERIFY(QFile::link("p.bmp", out));
    if (kind == "null" || kind == "full") // private nodes: nothing outside the test is hurt
        QCOMPARE(::mknod(qPrintable(out), S_IFCHR | 0666, makedev(1, kind == "null" ? 3 : 7)), 0);
    if (kind == "fifo") {
        QCOMPARE(::mkfifo(qPrintable(out), 0600), 0);
        if (!dryRun) // a dry run must not open it: it would wait for this reader
            reader = std::make_unique<std::thread>([&] {
                QFile fifo(out);
                if (fifo.open(QIODevice::ReadOnly))
                    fromFifo = fifo.readAll();
            });
    }
    if (kind == "append" || kind == "descriptor 9") {
        QVERIFY(writeFile(log, OldPlot));
        const QByteArray name = QFile::encodeName(log);
        const int descriptor = kind == "append" ? 1 : 9;
        inChild = [name, descriptor] {
            const int fd = ::open(name.constData(), O_WRONLY | O_APPEND);
            if (fd < 0 || ::dup2(fd, descriptor) < 0)
                ::_exit(99);
        };
    }
    if (kind == "deleted") {
        const QByteArray gone = QFile::encodeName(folder + "/gone");
        QVERIFY(QDir(folder).mkdir("gone"));
        inChild = [gone] {
            if (::chdir(gone.constData()) != 0 || ::rmdir(gone.constData()) != 0)
                ::_exit(99);
        };
    }
    if (kind == "folder")
        QVERIFY(QDir(folder).mkdir(output) && writeFile(out + "/keep", OldPlot));
    // A file written into must end where the new plot ends.
    const bool writtenInto = kind == "hard linked" || kind == "as nobody";
    if (kind == "kept" || kind == "limit" || writtenInto || shared)
        QVERIFY(
            writeFile(file, writtenInto ? QByteArray(m_stripesPlot.size() + 5000, 'x') : OldPlot));
    if (kind == "kept") {
        QCOMPARE(::chmod(qPrintable(out), 0444), 0);
        if (geteuid() == 0)
            QCOMPARE(::chown(qPrintable(out), 65534, 65534), 0);
    }
    if (kind == "hard linked")
        QCOMPARE(::link(qPrintable(out), qPrintable(folder + "/copy.plt")), 0);
    if (kind == "as nobody") { // root's file in a folder everyone may write to
        QCOMPARE(::chmod(qPrintable(folder), 0777), 0);
        QCOMPARE(::chmod(qPrintable(out), 0666), 0);
        QCOMPARE(::chmod(qPrintable(picture), 0644), 0);
        inChild = [] {
            if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                ::setresuid(65534, 65534, 65534) != 0)
                ::_exit(99);
        };
    }
    if (shared) {
        const QString sharedFolder = folder + "/shared";
        QVERIFY(QDir(folder).mkdir("shared"));
        QCOMPARE(::chmod(qPrintable(sharedFolder), 01777), 0);
        QVERIFY(QFile::link("../victim.plt", out));
        const uid_t owner = kind == "shared, my link" ? geteuid() : 65534;
        QCOMPARE(::lchown(qPrintable(out), owner, owner), 0);
        if (kind == "shared, owner's link")
            QCOMPARE(::chown(qPrintable(sharedFolder), owner, owner), 0);
    }
    if (kind == "umask 027")
        inChild = [] { ::umask(027); };
    if (kind == "limit") // as `ulimit -f` would: the limit must become a reported error
        inChild = [] {
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = 20000;
            setrlimit(RLIMIT_FSIZE, &limit);
        };
    struct stat old = {};
    ::stat(qPrintable(file), &old);
    QStringList before = folderEntries(folder);
    before.removeAll("gone"); // deleted by the converter's process on its way in
    QMap<QString, QByteArray> contents;
    for (const QString& name : {picture, file, out + "/keep", log})
        if (QFileInfo(name).isFile())
            contents.insert(name, readFile(name));

    QStringList arguments{"--output", output, "p.bmp"};
    if (dryRun)
        arguments.prepend("--dry-run");
    const ConverterOutcome outcome = runConverter(folder, arguments, inChild);
    if (reader)
        reader->join();
    QCOMPARE(outcome.exitCode, exitCode);
    if (exitCode != 0)
        message = "kelviq-convert: " + message.replace("<out>", out).replace("<dir>", folder);
    else
        message.clear();
    QVERIFY2(outcome.err.startsWith(message.toUtf8()), outcome.err);
    if (exitCode != 0 || dryRun) {
        QCOMPARE(folderEntries(folder), before);
        for (auto kept = contents.cbegin(); kept != contents.cend(); ++kept)
            QCOMPARE(readFile(kept.key()), kept.value());
    }
    const bool standardOutput = kind == "standard output" || kind == "append" || kind == "pipe";
    const QByteArray shown = output == "-" ? QByteArray("standard output") : out.toUtf8();
    if (exitCode != 0) {
        QVERIFY(outcome.out.isEmpty());
        return;
    }
    if (dryRun) { // the report goes where the summary would
        QCOMPARE(standardOutput ? outcome.err : outcome.out,
                 "dry run: 60000 segments, " + QByteArray::number(m_stripesPlot.size()) +
                     " bytes from p.bmp (400 x 300 pixels, 800 x 600 mils, 20.32 x 15.24 mm) "
                     "would be written to " +
                     shown + "\n");
        return;
    }
    const QByteArray summary =
        "60000 segments from p.bmp (400 x 300 pixels) written to " + shown + "\n";
    QCOMPARE(standardOutput ? outcome.err : outcome.out, summary);
    if (kind == "standard output" || kind == "pipe") {
        QCOMPARE(outcome.out, m_stripesPlot);
        return;
    }
    if (kind == "append" || kind == "descriptor 9") {
        QCOMPARE(readFile(log), OldPlot + m_stripesPlot);
        return;
    }
    QVERIFY(outcome.err.isEmpty());
    struct stat now = {};
    QCOMPARE(::stat(qPrintable(file), &now), 0);
    if (kind == "null" || kind == "fifo") {
        QCOMPARE(now.st_mode & S_IFMT, kind == "null" ? S_IFCHR : S_IFIFO);
        if (kind == "fifo")
            QCOMPARE(fromFifo, m_stripesPlot);
        return;
    }
    QCOMPARE(readFile(file), m_stripesPlot);
    if (kind == "kept") {
        QCOMPARE(now.st_mode, old.st_mode);
        QCOMPARE(now.st_uid, old.st_uid);
        QCOMPARE(now.st_gid, old.st_gid);
    }
    if (writtenInto) { // the same file, still its owner's
        QCOMPARE(now.st_ino, old.st_ino);
        QCOMPARE(now.st_uid, old.st_uid);
        QCOMPARE(readFile(folder + "/copy.plt"),
                 kind == "hard linked" ? m_stripesPlot : "<missing>");
    }
    if (shared)
        QVERIFY(QFileInfo(out).isSymLink());
    if (kind == "umask 027")
        QCOMPARE(now.st_mode & 0777, 0640u);
}

void TestConverter::plotsGoWhereTold_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("plots");  // every file made, sorted
    QTest::addColumn<QByteArray>("start");   // how each starts; <name> for its own name
    QTest::addColumn<QStringList>("errors"); // the start of each line on standard error
    auto row = [](const char* name, const QStringList& arguments, int exitCode,
                  const QStringList& plots, const QStringList& errors = {},
                  const QByteArray& start = PlotHeader) {
        QTest::newRow(name) << arguments << exitCode << plots << start << errors;
    };
    row("one bad among good, into a new folder",
        {"--output-dir", "plots", "a/one.bmp", "notes.txt", "b/two.bmp", "nothing.bmp"}, 1,
        {"plots/one.plt", "plots/two.plt"},
        {"Cannot read the picture notes.txt", "Cannot read the picture nothing.bmp"});
    row("each beside its picture", {"a/one.bmp", "b/two.bmp"}, 0, {"a/one.plt", "b/two.plt"});
    row("two pictures, one plot name", {"a/one.bmp", "a/one.png"}, 1, {"a/one.plt"},
        {"Cannot create the plot file <dir>/a/one.plt for a/one.png: a/one.bmp, given before, "
         "has a plot of the same name"});
    row("a plot that would replace another picture", {"a/one.bmp", "a/one.plt"}, 1, {},
        {"Cannot create the plot file <dir>/a/one.plt: it is the picture",
         "Cannot create the plot file <dir>/a/one.plt for a/one.plt"});
    row("svg by name", {"--output", "x.svg", "a/one.bmp"}, 0, {"x.svg"}, {}, "<?xml");
    row("gerber by name", {"--output", "x.GBO", "a/one.bmp"}, 0, {"x.GBO"}, {}, "G04 ");
    row("the option over the name", {"--format", "gerber", "--output", "x.plt", "a/one.bmp"}, 0,
        {"x.plt"}, {}, "G04 ");
    row("footprints in a folder, named after their files",
        {"--format", "kicad", "--output-dir", "d", "a/one.bmp", "a/two.bmp"}, 0,
        {"d/one.kicad_mod", "d/two.kicad_mod"}, {}, "(footprint \"<name>\"");
    row("anything else is IPF", {"--output", "x.txt", "a/one.bmp"}, 0, {"x.txt"});
}

// Each picture converts on its own: a failure costs its one line, the others still convert;
// the format follows the option, else the file's name.
void TestConverter::plotsGoWhereTold()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, plots);
    QFETCH(QByteArray, start);
    QFETCH(QStringList, errors);
    QTemporaryDir dir;
    QStringList inputs{"notes.txt"};
    QVERIFY(QFile::copy(m_dir.filePath("notes.txt"), dir.filePath("notes.txt")));
    for (const QString& name : arguments)
        if (name.startsWith("a/") || name.startsWith("b/")) {
            QVERIFY(QDir(dir.path()).mkpath(name.left(1)));
            QVERIFY(QFile::copy(m_colors, dir.filePath(name)));
            inputs << name;
        }
    const ConverterOutcome outcome =
        runConverter(dir.path(), QStringList{"--color", "FF0000"} + arguments);
    QCOMPARE(outcome.exitCode, exitCode);
    QStringList made;
    for (QDirIterator it(dir.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString name = QDir(dir.path()).relativeFilePath(it.next());
        if (!inputs.contains(name))
            made << name;
        else if (name != "notes.txt") // a picture called .plt is not replaced either
            QCOMPARE(readFile(dir.filePath(name)), readFile(m_colors));
    }
    made.sort();
    QCOMPARE(made, plots);
    for (const QString& plot : plots) {
        const QByteArray name = QFileInfo(plot).completeBaseName().toUtf8();
        QVERIFY2(readFile(dir.filePath(plot)).startsWith(QByteArray(start).replace("<name>", name)),
                 qPrintable(plot));
    }
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
// not the plot, not its folder. --quiet says nothing on success, but a dry run's report is what
// it was asked for. (Dry runs fail where real runs do: outputKinds.)
void TestConverter::dryRunWritesNothing()
{
    QTemporaryDir dir;
    const QString picture = dir.filePath("p.bmp");
    QVERIFY(QFile::copy(m_colors, picture));
    const ConverterOutcome dry =
        runConverter(dir.path(), {"--dry-run", "--quiet", "--scale", "2.5", "--output-dir", "new",
                                  "--color", "FF0000", "p.bmp"});
    QCOMPARE(dry.exitCode, 0);
    QCOMPARE(folderEntries(dir.path()), QStringList{"p.bmp"});
    const ConverterOutcome real =
        runConverter(dir.path(), {"--quiet", "--scale", "2.5", "--output-dir", "new", "--color",
                                  "FF0000", "p.bmp"});
    QCOMPARE(real.exitCode, 0);
    QVERIFY(real.out.isEmpty() && real.err.isEmpty());
    const qint64 bytes = QFileInfo(dir.filePath("new/p.plt")).size();
    QCOMPARE(dry.out, QStringLiteral("dry run: 2 segments, %1 bytes from p.bmp (4 x 1 pixels, 10 x "
                                     "2.5 mils, 0.254 x 0.064 mm) would be written to %2\n")
                          .arg(bytes)
                          .arg(dir.filePath("new/p.plt"))
                          .toUtf8());
    // Outlines count their shapes and the corners of their contours; the thickness plays no
    // part in them.
    const QStringList outline{"--shape", "outline", "--thickness", "-1",   "--output",
                              "p.svg",   "--color", "FF0000",      "p.bmp"};
    QVERIFY(runConverter(dir.path(), QStringList{"--dry-run"} + outline)
                .out.startsWith("dry run: 2 shapes, 8 vertices, "));
    QCOMPARE(runConverter(dir.path(), outline).out,
             "2 shapes (8 vertices) from p.bmp (4 x 1 pixels) written to " +
                 dir.filePath("p.svg").toUtf8() + '\n');
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
    const ConverterOutcome outcome = runConverter(dir.path(), {m_bigStripes}, [terminal] {
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
    QCOMPARE(folderEntries(dir.path()), QStringList{"out.plt"});
}

// A photo tagged "turned a quarter" is traced upright, and says so; the stored rows on request.
void TestConverter::turnedAsItsExifOrientationSays()
{
    QTemporaryDir dir;
    const QString photo = QStringLiteral(KELVIQ_SOURCE_DIR "/tests/picture/data/orient-6.jpg");
    const ConverterOutcome turned =
        runConverter(dir.path(), {"--output", "turned.plt", "--pick", "0,0", photo});
    QCOMPARE(turned.exitCode, 0);
    QVERIFY2(turned.out.contains("(20 x 28 pixels, turned as its EXIF orientation says)"),
             turned.out);
    const ConverterOutcome stored = runConverter(
        dir.path(), {"--output", "stored.plt", "--pick", "0,0", "--ignore-orientation", photo});
    QCOMPARE(stored.exitCode, 0);
    QVERIFY2(stored.out.contains("(28 x 20 pixels) written"), stored.out);
    QVERIFY(readFile(dir.filePath("turned.plt")) != readFile(dir.filePath("stored.plt")));
}

// Under a limit on the process's memory (ulimit -v) a picture that needs more than is left is
// told as such - never as damage, never an abort - and the pictures after it are converted.
void TestConverter::outOfMemoryIsToldAndTheBatchGoesOn()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer reserves more address space than any limit leaves");
#endif
    QTemporaryDir dir;
    // A progressive JPEG: libjpeg holds all its 46 MB of coefficients while it decodes.
    QImage photo(4000, 4000, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(x, y, qRgb(x * 7, y * 3, (x ^ y) & 255));
    QImageWriter writer(dir.filePath("photo.jpg"), "jpeg");
    writer.setProgressiveScanWrite(true);
    QVERIFY(writer.write(photo));
    QVERIFY(QFile::copy(m_colors, dir.filePath("small.bmp")));
    bool toldOutOfMemory = false;
    for (rlim_t megabytes = 60; megabytes <= 200; megabytes += 20) {
        const ConverterOutcome outcome = runConverter(
            dir.path(), {"--output-dir", "plots", "photo.jpg", "small.bmp"}, [megabytes] {
                rlimit limit{};
                limit.rlim_cur = limit.rlim_max = megabytes << 20;
                setrlimit(RLIMIT_AS, &limit);
            });
        if (outcome.exitCode == 127) // too little to start at all
            continue;
        const QString said = QString::fromUtf8(outcome.out + outcome.err);
        QVERIFY2(outcome.exitCode == 0 || outcome.exitCode == 1, qPrintable(said));
        QVERIFY2(!said.contains("damaged") && !said.contains("truncated"), qPrintable(said));
        static const QRegularExpression told(
            "^kelviq-convert: not enough memory to read photo.jpg: it needs about 4\\d MB.\n$");
        if (told.match(QString::fromUtf8(outcome.err)).hasMatch() &&
            outcome.out.startsWith("0 segments from small.bmp"))
            toldOutOfMemory = true;
    }
    QVERIFY(toldOutOfMemory);
}

QTEST_GUILESS_MAIN(TestConverter)
#include "tst_converter.moc"
