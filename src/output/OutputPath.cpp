#include "output/OutputPath.h"

#include <QList>
#include <cerrno>
#include <dirent.h>
#include <unistd.h>
#include <vector>

namespace kelviq {

namespace {

// As Linux: more links than this in one name is a loop.
constexpr int MostLinks = 40;

QList<QByteArray> parts(const QByteArray& path)
{
    QList<QByteArray> list = path.split('/');
    list.removeAll(QByteArray());
    return list;
}

bool isNumber(const QByteArray& text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// What a link of /proc/PID/fd (or /proc/PID/task/TID/fd) stands for.
struct ProcessDescriptor
{
    bool isOne = false; // the path is such a link at all
    bool own = false;   // of this process (or one of its threads)
    int descriptor = -1;
};

ProcessDescriptor processDescriptor(const QByteArray& path)
{
    const QList<QByteArray> p = parts(path);
    ProcessDescriptor result;
    const bool plain = p.size() == 4 && p[2] == "fd";
    const bool task = p.size() == 6 && p[2] == "task" && p[4] == "fd" && isNumber(p[3]);
    if (p.isEmpty() || p[0] != "proc" || !(plain || task) || !isNumber(p[1]) || !isNumber(p.back()))
        return result;
    result.isOne = true;
    result.descriptor = p.back().toInt();
    // A thread's id names the process too (/proc/thread-self leads to /proc/PID/task/TID).
    struct stat unused = {};
    result.own = p[1] == QByteArray::number(::getpid()) ||
                 ::lstat(QByteArray("/proc/self/task/" + p[1]).constData(), &unused) == 0;
    return result;
}

// The lowest of this process's descriptors that is the same open file as info, or -1.
int ownDescriptorFor(const struct stat& info)
{
    DIR* folder = ::opendir("/proc/self/fd");
    if (!folder)
        return -1;
    int found = -1;
    while (const dirent* entry = ::readdir(folder)) {
        if (!isNumber(entry->d_name))
            continue;
        const int fd = QByteArray(entry->d_name).toInt();
        struct stat mine = {};
        if (fd != ::dirfd(folder) && ::fstat(fd, &mine) == 0 && mine.st_dev == info.st_dev &&
            mine.st_ino == info.st_ino && (found < 0 || fd < found))
            found = fd;
    }
    ::closedir(folder);
    return found;
}

// The rule of the kernel's protected_symlinks: in a sticky, world-writable folder a link is
// followed only when it belongs to whoever follows it or to the folder's owner.
bool sharedFolderForbids(const struct stat& folder, const struct stat& link)
{
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return shared && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid;
}

bool readLink(const QByteArray& path, QByteArray& target)
{
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = ::readlink(path.constData(), buffer.data(), buffer.size());
        if (length < 0)
            return false;
        if (static_cast<std::size_t>(length) < buffer.size()) {
            target = QByteArray(buffer.data(), length);
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

OutputPath OutputPath::failed(int error)
{
    OutputPath result;
    result.m_error = error;
    return result;
}

OutputPath OutputPath::resolve(const QByteArray& path)
{
    OutputPath result;
    QList<QByteArray> pending = parts(path);
    const bool wantsFolder = path.endsWith('/');
    QByteArray done; // no link in it; empty for the root folder
    int links = 0;
    auto folderOf = [&done](struct stat& info) {
        return ::stat(done.isEmpty() ? "/" : done.constData(), &info) == 0;
    };
    while (!pending.isEmpty()) {
        const QByteArray part = pending.takeFirst();
        if (part == ".")
            continue;
        if (part == "..") {
            done.truncate(std::max<qsizetype>(done.lastIndexOf('/'), 0));
            continue;
        }
        const QByteArray candidate = done + '/' + part;
        const bool last = pending.isEmpty();
        struct stat info = {};
        if (::lstat(candidate.constData(), &info) != 0) {
            if (errno != ENOENT || !last)
                return failed(errno);
            if (wantsFolder)
                return failed(EISDIR); // as open() says of a new name ending in '/'
            result.m_end = End::Entry;
            result.m_folder = done;
            result.m_name = part;
            if (!folderOf(result.m_folderInfo))
                return failed(errno);
            return result;
        }
        if (S_ISLNK(info.st_mode)) {
            const ProcessDescriptor descriptor = processDescriptor(candidate);
            if (descriptor.isOne && !last)
                return failed(ENOTDIR);
            if (descriptor.own) {
                result.m_end = End::Descriptor;
                result.m_descriptor = descriptor.descriptor;
                return result;
            }
            struct stat folder = {};
            if (!folderOf(folder))
                return failed(errno);
            if (sharedFolderForbids(folder, info)) {
                result.m_end = End::RefusedLink;
                result.m_folder = done;
                result.m_name = part;
                result.m_linkInfo = info;
                return result;
            }
            if (++links > MostLinks)
                return failed(ELOOP);
            QByteArray target;
            if (!readLink(candidate, target))
                return failed(errno);
            if (descriptor.isOne) {
                // Another process's descriptor: the kernel follows it to the open file itself,
                // which may be one of ours (the shell's standard output is often ours too).
                struct stat open = {};
                if (::stat(candidate.constData(), &open) != 0)
                    return failed(errno);
                if (const int mine = ownDescriptorFor(open); mine >= 0) {
                    result.m_end = End::Descriptor;
                    result.m_descriptor = mine;
                    return result;
                }
                // A pipe, socket or deleted file has no name to follow.
                if (!target.startsWith('/') || target.endsWith(" (deleted)")) {
                    result.m_end = End::Entry;
                    result.m_folder = done;
                    result.m_name = part;
                    result.m_exists = true;
                    result.m_followedByKernel = true;
                    result.m_info = open;
                    result.m_folderInfo = folder;
                    return result;
                }
            }
            if (target.startsWith('/'))
                done.clear();
            pending = parts(target) + pending;
            continue;
        }
        if (!last && !S_ISDIR(info.st_mode))
            return failed(ENOTDIR);
        if (last && wantsFolder && !S_ISDIR(info.st_mode))
            return failed(ENOTDIR);
        if (last) {
            result.m_end = End::Entry;
            result.m_folder = done;
            result.m_name = part;
            result.m_exists = true;
            result.m_info = info;
            if (!folderOf(result.m_folderInfo))
                return failed(errno);
            return result;
        }
        done = candidate;
    }
    // The name ends at a folder ("/", "a/..").
    result.m_end = End::Entry;
    result.m_exists = true;
    if (!folderOf(result.m_info))
        return failed(errno);
    result.m_folderInfo = result.m_info;
    result.m_name = ".";
    result.m_folder = done;
    return result;
}

} // namespace kelviq
