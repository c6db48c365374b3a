#pragma once

#include "output/FileIdentity.h"

#include <QList>
#include <QString>
#include <memory>

class QIODevice;

namespace kelviq {

// Where a plot goes, and how it gets there without losing anything:
// - a regular file, or a name not taken yet, is replaced whole: the plot is written to an
//   unnamed file beside it that takes its place only when complete, with the replaced file's
//   permissions and, where the process may change them, its owner and group;
// - a file with other hard links, or whose owner or group the process could not give the new
//   one, is written into instead - once the plot is complete, so that every name for it sees
//   the new plot and it stays whose it was;
// - an existing device, FIFO or socket is written to directly (/dev/null, a plotter's pipe);
// - "-" is standard output, and a name for one of the process's own descriptors (/dev/stdout,
//   /dev/fd/3, /proc/self/fd/1) is written through that descriptor: appends append, pipes get
//   the plot;
// - a dry run makes every check the real run makes, then only counts.
// The name is followed by OutputPath, which refuses other users' links in shared folders, and
// the file is then opened without following links, so one swapped in meanwhile is not
// followed either. Files that must never be replaced - the picture being traced - are
// recognised by identity, so that links and other names for them are refused too.
class PlotOutput
{
public:
    enum class Kind
    {
        File,
        Direct,
        Descriptor
    };

    // name as given: relative names are taken from the current folder when opened.
    explicit PlotOutput(QString name, bool dryRun = false);
    ~PlotOutput();
    PlotOutput(const PlotOutput&) = delete;
    PlotOutput& operator=(const PlotOutput&) = delete;

    // The name that stands for standard output.
    static QString standardOutputName() { return QStringLiteral("-"); }

    // For a dry run whose plot goes into a folder the real run would make first: a missing
    // folder is no reason to refuse, as there is nothing in it to check yet.
    void setFolderWillBeMade(bool willBe) { m_folderWillBeMade = willBe; }

    // Checks the name and gets the output ready, creating the file the plot is written to.
    // False with errorString() when the plot cannot go there; nothing is left behind then.
    bool open(const QList<FileIdentity>& keep);
    bool isOpen() const { return m_device != nullptr; }
    QIODevice* device() const { return m_device; }
    // Puts the plot in place: for a file, everything is on disk before it replaces the old
    // one. False with errorString() when that fails; previousKept() says whether the old file
    // is as it was.
    bool commit();
    // Drops the plot; an old file stays as it was.
    void cancel();

    Kind kind() const { return m_kind; }
    bool isDryRun() const { return m_dryRun; }
    // Whether a file that was there before is still exactly as it was after a failure.
    bool previousKept() const { return m_kind == Kind::File && m_previousKept; }
    // Whether the plot goes where standard output goes, however it was named; known once open.
    bool reachesStandardOutput() const { return m_reachesStandardOutput; }
    // The full path for messages (the name as given while the current folder is unknown),
    // or "standard output".
    QString path() const { return m_path; }
    // Only the file's own name, e.g. "out.plt".
    QString fileName() const;
    QString errorString() const { return m_error; }

private:
    struct Target;

    bool fail(const QString& reason);
    bool openDescriptor(int descriptor, const QList<FileIdentity>& keep);
    bool openEntry(const QList<FileIdentity>& keep);
    bool openStaging();
    bool ready(int handle);
    bool replace();
    bool writeInPlace();

    QString m_name;
    QString m_path;
    bool m_dryRun = false;
    bool m_folderWillBeMade = false;
    Kind m_kind = Kind::File;
    bool m_previousKept = true;
    bool m_reachesStandardOutput = false;
    QString m_error;
    std::unique_ptr<Target> m_target;
    QIODevice* m_device = nullptr;
};

// Which file a path names, following symbolic links; not valid when it names none.
FileIdentity identityOfPath(const QString& path);

} // namespace kelviq
