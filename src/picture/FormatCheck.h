#pragma once

#include <QByteArray>
#include <QString>

namespace kelviq {

class PictureStream;

// What the first bytes of a picture say: its format, the size it claims, and how much memory
// and file a picture of that size may legitimately take. The whole-file checks of XBM and XPM
// are XbmCheck and XpmCheck; the other formats' decoders check their files as they read them.
class FormatCheck
{
public:
    enum class Format
    {
        Unknown,
        Bmp,
        Png,
        Jpeg,
        Gif,
        Ico,
        Pnm,
        Xbm,
        Xpm
    };
    // Decided from the content alone (the first SniffBytes); the name's suffix does not count.
    static constexpr qsizetype SniffBytes = 512;
    static Format sniff(const QByteArray& head);
    // Qt's name of the format of these first bytes.
    static QByteArray qtName(Format format, const QByteArray& head);

    struct Claim
    {
        qint64 width = 0;
        qint64 height = 0;
        // Peak bytes of decoding such a picture, counting every copy the load makes.
        qint64 memoryBytes = 0;
        // The most bytes a file with such a picture can need; more is never read.
        qint64 fileBytes = 0;
        // Why the header cannot be read, or empty.
        QString problem;
        // The fewest bytes that can hold such a picture, however well compressed.
        qint64 leastFileBytes = 0;
    };
    // The claim of a PNG, GIF, netpbm, XBM or XPM file, or of a bitmap file that is not one
    // of the plain kinds, from its first bytes (64 KB are enough for every header).
    static Claim claim(Format format, const QByteArray& head);
    // The same for a PNG file's header at the start of data (also inside an icon file).
    static Claim pngClaim(const QByteArray& data);
    // True when a claim's size is beyond every limit, so that nothing should be computed from
    // it: its memoryBytes are then set beyond reach too.
    static bool beyondReach(Claim& claim);
    // Room in a file for what may stand beside the pixels: comments, headers, metadata.
    static constexpr qint64 Slack = qint64(1) << 20;

    // The reason a whole XBM or XPM file (as far as it was read) cannot be used, in words a
    // user understands, or empty.
    static QString textProblem(Format format, const QByteArray& data);

    // Blanks as the text formats count them.
    static bool isBlank(char c);

    // Words shared by every reader.
    static QString truncated();
    static QString damaged(const QString& what);
    // Why input ended before a whole picture was read: the system's reason, or truncated().
    static QString endedEarly(const PictureStream& input);
};

} // namespace kelviq
