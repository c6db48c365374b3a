#pragma once

#include "output/FileIdentity.h"

#include <QList>
#include <QString>
#include <memory>

class QIODevice;

namespace kelviq {

// Where a plot goes, and how it gets there without losing anything:
// - a regular file, or a name not taken yet, is replaced whole: the plot is written to a
//   temporary file beside it that takes its place only when complete, with the replaced
//   file's permissions and, where the process may change them, its owner and group;
// - an existing device, FIFO or socket is written to directly (/dev/null, a plotter's pipe);
// - "-" is standard output;
// - a dry run goes nowhere and only counts.
// Files that must never be replaced - the picture being traced - are recognised by identity,
// so that links and other names for them are refused too.
class PlotOutput
{
public:
    enum class Kind
    {
        File,
        Direct,
        StandardOutput,
        Nowhere
    };

    // name as given: relative names are taken from the current folder when opened.
    explicit PlotOutput(QString name, bool dryRun = false);
    ~PlotOutput();
    PlotOutput(const PlotOutput&) = delete;
    PlotOutput& operator=(const PlotOutput&) = delete;

    // The name that stands for standard output.
    static QString standardOutputName() { return QStringLiteral("-"); }

    // Checks the name and gets the output ready, creating the temporary file. False with
    // errorString() when the plot cannot go there; nothing is left behind then.
    bool open(const QList<FileIdentity>& keep);
    bool isOpen() const { return m_device != nullptr; }
    QIODevice* device() const { return m_device; }
    // Puts the plot in place: for a file, everything is on disk before it replaces the old
    // one. False with errorString() when that fails; the old file then stays as it was.
    bool commit();
    // Drops the plot; an old file stays as it was.
    void cancel();

    Kind kind() const { return m_kind; }
    // The full path for messages (the name as given while the current folder is unknown),
    // or "standard output".
    QString path() const { return m_path; }
    // Only the file's own name, e.g. "out.plt".
    QString fileName() const;
    QString errorString() const { return m_error; }

private:
    bool fail(const QString& reason);
    bool openNowhere();

    QString m_name;
    QString m_path;
    Kind m_kind = Kind::File;
    QString m_error;
    struct Devices;
    std::unique_ptr<Devices> m_devices;
    QIODevice* m_device = nullptr;
};

// Which file a path names, following symbolic links; not valid when it names none.
FileIdentity identityOfPath(const QString& path);

} // namespace kelviq
