#include "output/PlotOutput.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kelviq {

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The current folder, or nothing when it no longer exists.
std::optional<QString> currentFolder(int& error)
{
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            error = errno;
            return std::nullopt;
        }
        buffer.resize(buffer.size() * 2);
    }
    return QFile::decodeName(buffer.data());
}

// A dry run's device: takes every byte and keeps none.
class Discard : public QIODevice
{
protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 length) override { return length; }
};

// The replaced file's owner, group and permissions on the new one. Changing the owner is
// only allowed to root; anyone else keeps at least the group when they belong to it.
void takeOver(int handle, const struct stat& old)
{
    if (::fchown(handle, old.st_uid, old.st_gid) != 0)
        (void)::fchown(handle, static_cast<uid_t>(-1), old.st_gid);
    (void)::fchmod(handle, old.st_mode & 07777);
}

// Qt prepares the replacement of an existing file under the file's own name and seven more
// characters; a name too long for that would fail only after the whole picture was traced.
bool roomForReplacement(const QString& path)
{
    const QFileInfo target(QFileInfo(path).canonicalFilePath());
    const long nameMax =
        ::pathconf(QFile::encodeName(target.absolutePath()).constData(), _PC_NAME_MAX);
    return nameMax <= 0 || QFile::encodeName(target.fileName()).size() + 7 <= nameMax;
}

} // namespace

struct PlotOutput::Devices
{
    std::unique_ptr<QSaveFile> file;
    std::unique_ptr<QFile> direct;
    Discard discard;
};

FileIdentity identityOfPath(const QString& path)
{
    struct stat info = {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return FileIdentity::of(info);
}

PlotOutput::PlotOutput(QString name, bool dryRun)
    : m_name(std::move(name)), m_path(m_name), m_devices(std::make_unique<Devices>())
{
    const bool standardOutput = m_name == standardOutputName();
    m_kind = dryRun ? Kind::Nowhere : standardOutput ? Kind::StandardOutput : Kind::File;
    int error = 0;
    if (standardOutput) {
        m_path = QStringLiteral("standard output");
    } else if (QFileInfo(m_name).isRelative()) {
        if (const std::optional<QString> folder = currentFolder(error))
            m_path = QFileInfo(*folder + QLatin1Char('/') + m_name).absoluteFilePath();
    }
}

PlotOutput::~PlotOutput()
{
    cancel();
}

QString PlotOutput::fileName() const
{
    return m_name == standardOutputName() ? m_path : QFileInfo(m_name).fileName();
}

bool PlotOutput::fail(const QString& reason)
{
    m_error = reason;
    cancel();
    return false;
}

bool PlotOutput::open(const QList<FileIdentity>& keep)
{
    auto kept = [&keep](const FileIdentity& identity) {
        for (const FileIdentity& k : keep)
            if (k.sameFileAs(identity))
                return true;
        return false;
    };
    const QString isThePicture = QStringLiteral("it is the picture being converted (or another "
                                                "name for it), which is left as it was");

    if (m_name == standardOutputName() && m_kind == Kind::Nowhere)
        return openNowhere();
    if (m_kind == Kind::StandardOutput) {
        struct stat info = {};
        if (::fstat(STDOUT_FILENO, &info) == 0 && kept(FileIdentity::of(info)))
            return fail(isThePicture);
        m_devices->direct = std::make_unique<QFile>();
        if (!m_devices->direct->open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered,
                                     QFileDevice::DontCloseHandle))
            return fail(m_devices->direct->errorString());
        m_device = m_devices->direct.get();
        return true;
    }

    if (m_name.isEmpty())
        return fail(QStringLiteral("no file name given"));
    if (QFileInfo(m_name).isRelative()) {
        int error = 0;
        if (!currentFolder(error)) {
            return fail(error == ENOENT
                            ? QStringLiteral("the current folder no longer exists (it was "
                                             "deleted or moved); nothing was written")
                            : systemReason(error));
        }
    }

    const QByteArray encoded = QFile::encodeName(m_path);
    struct stat info = {};
    const bool exists = ::stat(encoded.constData(), &info) == 0;
    if (!exists && errno != ENOENT)
        return fail(systemReason(errno)); // too long, a symbolic-link loop, no access ...
    if (exists && kept(FileIdentity::of(info)))
        return fail(isThePicture);

    if (m_kind == Kind::Nowhere)
        return openNowhere();
    if (exists && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        // A device, FIFO or socket: nothing to replace, so the plot goes straight in.
        m_kind = Kind::Direct;
        m_devices->direct = std::make_unique<QFile>(m_path);
        if (!m_devices->direct->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return fail(m_devices->direct->errorString());
        m_device = m_devices->direct.get();
        return true;
    }

    if (exists && S_ISREG(info.st_mode) && !roomForReplacement(m_path))
        return fail(QStringLiteral("its name is too long for the new plot to be prepared beside "
                                   "it; the file is left as it was"));

    m_devices->file = std::make_unique<QSaveFile>(m_path);
    // Unbuffered: the writer gathers big blocks itself, and a failing write then reports
    // its reason ("No space left on device") instead of Qt's buffer losing it.
    if (!m_devices->file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(m_devices->file->errorString());
    if (exists)
        takeOver(m_devices->file->handle(), info);
    m_device = m_devices->file.get();
    return true;
}

bool PlotOutput::openNowhere()
{
    m_devices->discard.open(QIODevice::WriteOnly);
    m_device = &m_devices->discard;
    return true;
}

bool PlotOutput::commit()
{
    if (!m_device)
        return false;
    bool ok = true;
    if (QSaveFile* file = m_devices->file.get()) {
        // QSaveFile::commit() overlooks a failure of its own last flush (disk full, file-size
        // limit) and would put a cut file in place of the old one, so flush before committing.
        ok = file->flush() && file->commit();
        if (!ok)
            m_error = file->errorString();
    } else if (m_devices->direct) {
        ok = m_devices->direct->flush();
        if (!ok)
            m_error = m_devices->direct->errorString();
    }
    m_device = nullptr;
    m_devices->file.reset();
    m_devices->direct.reset();
    return ok;
}

void PlotOutput::cancel()
{
    if (m_devices->file)
        m_devices->file->cancelWriting();
    m_device = nullptr;
    m_devices->file.reset();
    m_devices->direct.reset();
    m_devices->discard.close();
}

} // namespace kelviq
