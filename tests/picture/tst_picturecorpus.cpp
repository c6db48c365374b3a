// Every file of the BMP Suite through the picture loader and the converter: each either
// converts to a defined picture, the same on every run, or is refused with its reason.
#include "picture/PictureLoader.h"
#include "support/RasterPixels.h"
#include "support/RunConverter.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

using namespace kelviq;
using namespace testfiles;

namespace {

QString corpusDir()
{
    const QByteArray fromEnvironment = qgetenv("KELVIQ_BMPSUITE");
    if (!fromEnvironment.isEmpty())
        return QString::fromLocal8Bit(fromEnvironment);
    return QDir::cleanPath(QStringLiteral(KELVIQ_SOURCE_DIR "/../shared/corpus/bmpsuite"));
}

} // namespace

class TestPictureCorpus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyFileIsListed();
    void eachFileConvertsOrIsRefused_data();
    void eachFileConvertsOrIsRefused();
    void converterSaysTheSame();

private:
    QStringList files() const; // every bitmap of the corpus, by its path inside it, sorted
    QString m_dir;
};

QStringList TestPictureCorpus::files() const
{
    QStringList files;
    QDirIterator it(m_dir, {QStringLiteral("*.bmp")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(m_dir).relativeFilePath(it.next());
    files.sort();
    return files;
}

void TestPictureCorpus::initTestCase()
{
    m_dir = corpusDir();
    if (!QFile::exists(m_dir + QStringLiteral("/g/pal8.bmp")))
        QFAIL(qPrintable(QStringLiteral("BMP Suite not found at %1; set KELVIQ_BMPSUITE to its "
                                        "folder")
                             .arg(m_dir)));
}

// Refused files and the words of their reason; every other file converts.
static const QList<QPair<QString, QString>>& refusals()
{
    static const QList<QPair<QString, QString>> list = {
        {"b/badbitcount.bmp", "the file is damaged: its header gives 30000 bits per pixel"},
        {"b/badheadersize.bmp", "the file is damaged: its header size, 66 bytes"},
        {"b/badplanes.bmp", "the file is damaged: its header gives 30000 colour planes"},
        {"b/badrle.bmp", "the file is damaged: its compressed picture data reaches outside"},
        {"b/badrle4.bmp", "the file is damaged: its compressed picture data reaches outside"},
        {"b/badrle4bis.bmp", "the file is damaged: its compressed picture data reaches outside"},
        {"b/badrle4ter.bmp", "the file is damaged: its compressed picture data reaches outside"},
        {"b/badrlebis.bmp", "the file is damaged: its compressed picture data reaches outside"},
        {"b/badrleter.bmp", "the file is damaged: its compressed picture data reaches outside"},
        {"b/badwidth.bmp", "the file is damaged: its header gives a size of -127 × 64 pixels"},
        {"b/reallybig.bmp", "the picture is 3000000 × 2000000 pixels, "},
        {"b/shortfile.bmp", "the file is truncated"},
        {"q/pal1huffmsb.bmp", "cannot read (Huffman compression)"},
        {"q/pal2.bmp", "cannot read (2 bits per pixel)"},
        {"q/pal2color.bmp", "cannot read (2 bits per pixel)"},
        {"q/pal8os2v2-16.bmp", "cannot read (a rare header variant of 16 bytes)"},
        {"q/rgb24jpeg.bmp", "cannot read (a JPEG picture inside)"},
        {"q/rgb24png.bmp", "cannot read (a PNG picture inside)"},
        {"q/rgb24rle24.bmp", "cannot read (24-bit run-length compression)"},
        {"q/rgb32h52.bmp", "cannot read (a rare header variant of 52 bytes)"},
        {"q/rgba32abf.bmp", "cannot read (colour masks with transparency)"},
        {"q/rgba32h56.bmp", "cannot read (a rare header variant of 56 bytes)"},
        {"q/rgba64.bmp", "cannot read (64 bits per pixel)"},
        {"x/ba-bm.bmp", "cannot read (an OS/2 bitmap array)"},
    };
    return list;
}

static QString refusal(const QString& file)
{
    for (const auto& refused : refusals())
        if (refused.first == file)
            return refused.second;
    return {};
}

void TestPictureCorpus::everyFileIsListed()
{
    // A file added to the corpus must not pass unnoticed: it is either refused (and then
    // listed) or converts; the listed ones must all exist.
    const QStringList files = this->files();
    QVERIFY2(files.size() >= 91, qPrintable(QString::number(files.size())));
    for (const auto& refused : refusals())
        QVERIFY2(files.contains(refused.first), qPrintable(refused.first));
}

void TestPictureCorpus::eachFileConvertsOrIsRefused_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("reference"); // a file of the same picture, when it is repaired
    QTest::addColumn<int>("skipped");       // pixels its compressed data never names
    // Short OS/2 colour tables, tables claiming more entries than a pixel can name or absurdly
    // many, compressed rows top-down, skipping pixels or ending early.
    const QMap<QString, QPair<QString, int>> repaired = {
        {"q/pal8os2sp.bmp", {"g/pal8.bmp", 0}},      {"q/pal8oversizepal.bmp", {"g/pal8.bmp", 0}},
        {"b/badpalettesize.bmp", {"g/pal8.bmp", 0}}, {"b/rletopdown.bmp", {"g/pal8.bmp", 0}},
        {"g/pal8rle.bmp", {"g/pal8.bmp", 0}},        {"g/pal4rle.bmp", {"g/pal4.bmp", 0}},
        {"q/pal8rletrns.bmp", {"g/pal8.bmp", 416}},  {"q/pal4rletrns.bmp", {"g/pal4.bmp", 416}},
        {"q/pal8rlecut.bmp", {"g/pal8.bmp", 1745}},  {"q/pal4rlecut.bmp", {"g/pal4.bmp", 1946}}};
    for (const QString& file : files())
        QTest::newRow(qPrintable(file))
            << file << refusal(file) << repaired.value(file).first << repaired.value(file).second;
}

// Refused with its reason, or the same picture streamed or decoded; a repaired file shows its
// reference picture, and pixels its compressed data does not name take colour 0 of its table.
// (Pixels left unwritten: make memcheck.)
void TestPictureCorpus::eachFileConvertsOrIsRefused()
{
    QFETCH(QString, file);
    QFETCH(QString, reason);
    QFETCH(QString, reference);
    QFETCH(int, skipped);
    const QString path = m_dir + QLatin1Char('/') + file;
    const LoadResult first = PictureLoader::load(path, LoadMode::Decode);
    if (!reason.isEmpty()) {
        QVERIFY2(first.error.startsWith("Cannot read the picture " + path + ": ") &&
                     first.error.contains(reason),
                 qPrintable(first.error));
        return;
    }
    QVERIFY2(first.ok(), qPrintable(first.error));
    const std::vector<ColorValue> got = pixels(first.raster);
    QVERIFY(!got.empty());
    const LoadResult streamed = PictureLoader::load(path, LoadMode::Stream);
    QCOMPARE(streamed.raster.layout(), first.raster.layout());
    QVERIFY(pixels(streamed.raster) == got);
    if (reference.isEmpty())
        return;
    const std::vector<ColorValue> want =
        pixels(PictureLoader::load(m_dir + '/' + reference, LoadMode::Decode).raster);
    QCOMPARE(got.size(), want.size());
    int background = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (got[i] != want[i]) {
            QCOMPARE(got[i], first.raster.paletteColor(0));
            ++background;
        }
    }
    QVERIFY2(skipped == 0 ? background == 0 : background > 0 && background <= skipped,
             qPrintable(QString::number(background)));
}

// One run of the converter over the whole corpus, each file by a flat name of its own, and over
// damaged and cut files of other formats: a plot for each file that loads, for each other one
// the loader's own message on a line of its own, and nothing from the decoders.
void TestPictureCorpus::converterSaysTheSame()
{
    QTemporaryDir dir;
    QStringList pictures;
    for (const QString& file : files()) {
        pictures << dir.filePath(QString(file).replace('/', '-'));
        QVERIFY(QFile::link(m_dir + '/' + file, pictures.last()));
    }
    for (const QString name :
         {"seed.png", "seed-png.ico", "seed.jpg", "seed-interlaced.gif", "seed.pgm", "seed.ppm"}) {
        QByteArray data =
            readFile(QStringLiteral(KELVIQ_SOURCE_DIR "/fuzz/seeds/fuzz_picture/") + name);
        pictures << dir.filePath("cut-" + QString(name).replace('.', '-'));
        QVERIFY(writeFile(pictures.last(), data.left(data.size() * 2 / 3)));
        data[data.size() / 2] = static_cast<char>(data[data.size() / 2] ^ 0x55);
        pictures << dir.filePath("damaged-" + QString(name).replace('.', '-'));
        QVERIFY(writeFile(pictures.last(), data));
    }
    const ConverterOutcome outcome =
        runConverter(dir.path(), QStringList{"--pick", "0,0", "--output-dir", "plots"} + pictures);
    QCOMPARE(outcome.exitCode, 1);
    QList<QByteArray> errors = outcome.err.split('\n');
    for (const QString& picture : pictures) {
        const LoadResult loaded = PictureLoader::load(picture, LoadMode::Stream);
        const QString plot =
            dir.filePath("plots/" + QFileInfo(picture).completeBaseName() + ".plt");
        if (loaded.ok())
            QVERIFY2(readFile(plot).startsWith(PlotHeader), qPrintable(picture));
        else
            QCOMPARE(QString::fromUtf8(errors.takeFirst()), "kelviq-convert: " + loaded.error);
        QCOMPARE(QFile::exists(plot), loaded.ok());
    }
    QCOMPARE(errors, QList<QByteArray>{""});
}

QTEST_GUILESS_MAIN(TestPictureCorpus)
#include "tst_picturecorpus.moc"
