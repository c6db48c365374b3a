#include "output/PlotOutput.h"

#include "output/DisplayName.h"
#include "output/OutputPath.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <pwd.h>
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

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the plot would land where standard output goes. A character device is left out:
// /dev/null as both the plot and standard output is no reason to move the summary.
bool isStandardOutput(const struct stat& info)
{
    struct stat out = {};
    return !S_ISCHR(info.st_mode) && ::fstat(STDOUT_FILENO, &out) == 0 && sameFile(info, out);
}

// Whether a replacement can have the replaced file's owner and group: root may give any, others
// only their own files to a group they belong to.
bool ownerCanBeKept(const struct stat& old)
{
    if (::geteuid() == 0)
        return true;
    if (old.st_uid != ::geteuid())
        return false;
    if (old.st_gid == ::getegid())
        return true;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
    return std::find(groups.begin(), groups.begin() + std::max(count, 0), old.st_gid) !=
           groups.begin() + std::max(count, 0);
}

// The replaced file's owner, group and permissions on the new one.
void takeOver(int handle, const struct stat& old)
{
    if (::fchown(handle, old.st_uid, old.st_gid) != 0)
        (void)::fchown(handle, static_cast<uid_t>(-1), old.st_gid);
    (void)::fchmod(handle, old.st_mode & 07777);
}

QString userName(uid_t uid)
{
    struct passwd entry = {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(4096);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name) + QStringLiteral(" (user %1)").arg(uid);
    return QStringLiteral("user %1").arg(uid);
}

// A name for a file in the folder while it is being put in place.
QByteArray temporaryName()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray name = ".kelviq-";
    for (int i = 0; i < 10; ++i)
        name += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
    return name;
}

bool writeAll(int handle, const char* data, std::size_t length, off_t offset)
{
    while (length > 0) {
        const ssize_t n = ::pwrite(handle, data, length, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

const QString changedText = QStringLiteral("it was changed by another program while the plot was "
                                           "being made ready (a link or folder was swapped); "
                                           "nothing was written");

} // namespace

struct PlotOutput::Target
{
    int folder = -1;      // the folder holding the file, opened for use as a place only
    QByteArray name;      // the file's name in it
    struct stat old = {}; // the file there before, when there was one
    bool exists = false;
    bool inPlace = false;   // written into, not replaced
    int direct = -1;        // a device or FIFO, or the file written into in place
    int staging = -1;       // the plot while it is written
    QByteArray stagingName; // where the system has no unnamed files: its name in the folder
    QFile file;
    Discard discard;

    void release()
    {
        file.close();
        discard.close();
        if (staging >= 0)
            ::close(staging);
        if (!stagingName.isEmpty())
            ::unlinkat(folder, stagingName.constData(), 0);
        if (direct >= 0)
            ::close(direct);
        if (folder >= 0)
            ::close(folder);
        staging = direct = folder = -1;
        stagingName.clear();
    }
    ~Target() { release(); }
};

FileIdentity identityOfPath(const QString& path)
{
    struct stat info = {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return FileIdentity::of(info);
}

PlotOutput::PlotOutput(QString name, bool dryRun)
    : m_name(std::move(name)), m_path(m_name), m_dryRun(dryRun),
      m_target(std::make_unique<Target>())
{
    int error = 0;
    if (m_name == standardOutputName()) {
        m_kind = Kind::Descriptor;
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
    if (m_name == standardOutputName())
        return openDescriptor(STDOUT_FILENO, keep);
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
    return openEntry(keep);
}

namespace {

bool isKept(const QList<FileIdentity>& keep, const struct stat& info)
{
    const FileIdentity identity = FileIdentity::of(info);
    return std::any_of(keep.begin(), keep.end(),
                       [&identity](const FileIdentity& k) { return k.sameFileAs(identity); });
}

const QString isThePicture = QStringLiteral("it is the picture being converted (or another "
                                            "name for it), which is left as it was");

} // namespace

bool PlotOutput::openDescriptor(int descriptor, const QList<FileIdentity>& keep)
{
    m_kind = Kind::Descriptor;
    struct stat info = {};
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags < 0 || ::fstat(descriptor, &info) != 0)
        return fail(systemReason(errno));
    if (isKept(keep, info))
        return fail(isThePicture);
    if ((flags & O_ACCMODE) == O_RDONLY)
        return fail(systemReason(EBADF));
    m_reachesStandardOutput = descriptor == STDOUT_FILENO || isStandardOutput(info);
    return ready(descriptor);
}

bool PlotOutput::openEntry(const QList<FileIdentity>& keep)
{
    const OutputPath where = OutputPath::resolve(QFile::encodeName(m_path));
    switch (where.end()) {
    case OutputPath::End::Failed:
        if (m_dryRun && m_folderWillBeMade && where.error() == ENOENT)
            return ready(-1);
        return fail(systemReason(where.error()));
    case OutputPath::End::RefusedLink:
        return fail(QStringLiteral("%1 is a symbolic link of %2 in %3, a folder everyone may "
                                   "write to; such a link is followed only when it belongs to "
                                   "you or to the folder's owner, so nothing was written")
                        .arg(displayName(QFile::decodeName(where.link())),
                             userName(where.linkOwner()),
                             displayName(QFile::decodeName(where.folder()))));
    case OutputPath::End::Descriptor:
        return openDescriptor(where.descriptor(), keep);
    case OutputPath::End::Entry:
        break;
    }

    Target& target = *m_target;
    if (where.followedByKernel()) {
        // Another process's pipe or socket, reached through its /proc link.
        m_kind = Kind::Direct;
        if (isKept(keep, where.info()))
            return fail(isThePicture);
        const QByteArray path = where.folder() + '/' + where.name();
        if (m_dryRun) {
            if (::access(path.constData(), W_OK) != 0)
                return fail(systemReason(errno));
            return ready(-1);
        }
        target.direct = ::open(path.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (target.direct < 0)
            return fail(systemReason(errno));
        return ready(target.direct);
    }

    // From here on everything is reached from the folder itself, never again by its path, and
    // the file is opened without following links: what was checked is what is written.
    target.name = where.name();
    target.folder = ::open(where.folder().constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat folder = {};
    if (target.folder < 0)
        return fail(systemReason(errno));
    if (::fstat(target.folder, &folder) != 0 || !sameFile(folder, where.folderInfo()))
        return fail(changedText);
    struct stat now = {};
    const bool exists =
        ::fstatat(target.folder, target.name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT)
        return fail(systemReason(errno));
    if (exists != where.exists() || (exists && !sameFile(now, where.info())))
        return fail(changedText);
    if (exists && S_ISDIR(now.st_mode))
        return fail(QStringLiteral("Filename refers to a directory"));
    if (exists && isKept(keep, now))
        return fail(isThePicture);
    m_reachesStandardOutput = exists && isStandardOutput(now);

    if (exists && !S_ISREG(now.st_mode)) {
        // A device, FIFO or socket: nothing to replace, so the plot goes straight in. A dry
        // run does not open it: a FIFO would wait for a reader and take the one there is.
        m_kind = Kind::Direct;
        if (m_dryRun) {
            if (::faccessat(target.folder, target.name.constData(), W_OK, AT_EACCESS) != 0)
                return fail(systemReason(errno));
            return ready(-1);
        }
        target.direct = ::openat(target.folder, target.name.constData(),
                                 O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
        struct stat opened = {};
        if (target.direct < 0)
            return fail(systemReason(errno));
        if (::fstat(target.direct, &opened) != 0 || !sameFile(opened, now))
            return fail(changedText);
        return ready(target.direct);
    }

    m_kind = Kind::File;
    target.exists = exists;
    target.old = now;
    // Replacing a file with other links would leave them holding the old plot, and replacing
    // someone else's file would make it ours: such a file is written into.
    target.inPlace = exists && (now.st_nlink > 1 || !ownerCanBeKept(now));
    if (target.inPlace) {
        target.direct =
            ::openat(target.folder, target.name.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat opened = {};
        if (target.direct < 0) {
            const QString why =
                now.st_nlink > 1
                    ? QStringLiteral("it has other hard links, which a replacement would "
                                     "leave holding the old plot")
                    : QStringLiteral("it belongs to %1, and a replacement would not")
                          .arg(userName(now.st_uid));
            return fail(
                systemReason(errno) +
                QStringLiteral(" (the plot is to be written into the file itself: %1)").arg(why));
        }
        if (::fstat(target.direct, &opened) != 0 || !sameFile(opened, now))
            return fail(changedText);
    }
    if (!openStaging())
        return false;
    if (exists && !target.inPlace)
        takeOver(target.staging, now);
    return ready(target.staging);
}

// The file the plot is written to until it is complete: unnamed where the system allows, so
// that nothing is left behind even when the program is killed.
bool PlotOutput::openStaging()
{
    Target& target = *m_target;
    // Read back as well when it is copied into a file written in place.
    target.staging = ::openat(target.folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (target.staging >= 0)
        return true;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return fail(systemReason(errno));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = temporaryName();
        target.staging = ::openat(target.folder, name.constData(),
                                  O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (target.staging >= 0) {
            target.stagingName = name;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    return fail(systemReason(errno));
}

bool PlotOutput::ready(int handle)
{
    Target& target = *m_target;
    if (m_dryRun) {
        // Every check is made; nothing stays open and nothing is left.
        target.release();
        target.discard.open(QIODevice::WriteOnly);
        m_device = &target.discard;
        return true;
    }
    // Unbuffered: the writer gathers big blocks itself, and a failing write then reports its
    // reason ("No space left on device") instead of Qt's buffer losing it.
    if (!target.file.open(handle, QIODevice::WriteOnly | QIODevice::Unbuffered,
                          QFileDevice::DontCloseHandle))
        return fail(target.file.errorString());
    m_device = &target.file;
    return true;
}

bool PlotOutput::replace()
{
    Target& target = *m_target;
    if (::fsync(target.staging) != 0)
        return fail(systemReason(errno));
    QByteArray temporary = target.stagingName;
    const QByteArray unnamed = "/proc/self/fd/" + QByteArray::number(target.staging);
    for (int attempt = 0; temporary.isEmpty() && attempt < 100; ++attempt) {
        const QByteArray name = temporaryName();
        if (::linkat(AT_FDCWD, unnamed.constData(), target.folder, name.constData(),
                     AT_SYMLINK_FOLLOW) == 0 ||
            (errno == ENOENT &&
             ::linkat(target.staging, "", target.folder, name.constData(), AT_EMPTY_PATH) == 0))
            temporary = name;
        else if (errno != EEXIST)
            return fail(systemReason(errno));
    }
    target.stagingName = temporary;
    if (::renameat(target.folder, temporary.constData(), target.folder, target.name.constData()) !=
        0)
        return fail(systemReason(errno));
    target.stagingName.clear();
    return true;
}

// Copies the complete plot into the old file: its room is reserved first, so that a full disk
// is found out while the old plot is still whole.
bool PlotOutput::writeInPlace()
{
    Target& target = *m_target;
    struct stat staged = {};
    if (::fstat(target.staging, &staged) != 0)
        return fail(systemReason(errno));
    if (staged.st_size > 0 &&
        ::fallocate(target.direct, FALLOC_FL_KEEP_SIZE, 0, staged.st_size) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        return fail(systemReason(errno));
    std::vector<char> block(1 << 20);
    for (off_t done = 0; done < staged.st_size;) {
        const ssize_t n = ::pread(target.staging, block.data(), block.size(), done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(systemReason(n < 0 ? errno : EIO));
        m_previousKept = false;
        if (!writeAll(target.direct, block.data(), static_cast<std::size_t>(n), done))
            return fail(systemReason(errno));
        done += n;
    }
    if (::ftruncate(target.direct, staged.st_size) != 0 || ::fsync(target.direct) != 0)
        return fail(systemReason(errno));
    return true;
}

bool PlotOutput::commit()
{
    if (!m_device)
        return false;
    bool ok = true;
    if (!m_dryRun && m_kind == Kind::File)
        ok = m_target->inPlace ? writeInPlace() : replace();
    m_device = nullptr;
    m_target->release();
    return ok;
}

void PlotOutput::cancel()
{
    m_device = nullptr;
    m_target->release();
}

} // namespace kelviq
