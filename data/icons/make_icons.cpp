// Renders the program's icon for the desktop's icon theme from the same drawing the window
// uses: OUTDIR/NxN/apps/ID.png for every size N given, and OUTDIR/scalable/apps/ID.svg.
#include "window/Artwork.h"

#include <QDir>
#include <QPainter>
#include <QSvgGenerator>
#include <cstdio>

using kelviq::Artwork;

int main(int argc, char* argv[])
{
    if (argc < 4) {
        std::fputs("usage: kelviq-make-icons OUTDIR ID SIZE...\n", stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QString id = QString::fromLocal8Bit(argv[2]);
    auto fail = [](const QString& path) {
        std::fprintf(stderr, "kelviq-make-icons: cannot write %s\n", qPrintable(path));
        return 1;
    };

    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString dir = QStringLiteral("%1x%1/apps").arg(size);
        const QString path = out.filePath(dir + QLatin1Char('/') + id + QStringLiteral(".png"));
        if (size <= 0 || !out.mkpath(dir) || !Artwork::icon(size).save(path, "PNG"))
            return fail(path);
    }

    const QString path =
        out.filePath(QStringLiteral("scalable/apps/") + id + QStringLiteral(".svg"));
    if (!out.mkpath(QStringLiteral("scalable/apps")))
        return fail(path);
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(32, 32));
    svg.setViewBox(QRect(0, 0, 32, 32));
    svg.setTitle(QStringLiteral("KELVIQ"));
    QPainter painter;
    if (!painter.begin(&svg))
        return fail(path);
    Artwork::paintIcon(painter, true);
    return painter.end() ? 0 : fail(path);
}
