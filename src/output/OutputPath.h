#pragma once

#include <QByteArray>
#include <sys/stat.h>
#include <sys/types.h>

namespace kelviq {

// Where an output name leads, found before anything is opened by following it one name at a
// time as the kernel would:
// - a name for one of this process's own open descriptors (/dev/stdout, /dev/fd/3,
//   /proc/self/fd/1, or another process's /proc/PID/fd/N that is the same open file as one of
//   ours) ends at that descriptor;
// - a symbolic link in a sticky, world-writable folder (/tmp) that belongs neither to this
//   process's user nor to the folder's owner is not followed: anyone may have put it there to
//   point anywhere. The kernel's protected_symlinks makes the same rule, but not every system
//   turns it on;
// - anything else ends at an entry - a folder with no symbolic link in its path, and a name in
//   it that exists or not - which can then be opened without following links.
class OutputPath
{
public:
    enum class End
    {
        Entry,
        Descriptor,
        RefusedLink,
        Failed
    };

    // path must be absolute.
    static OutputPath resolve(const QByteArray& path);

    End end() const { return m_end; }
    // Failed: why, as errno.
    int error() const { return m_error; }
    // Descriptor: which.
    int descriptor() const { return m_descriptor; }
    // RefusedLink: the link, its folder and its owner.
    QByteArray link() const { return m_folder + '/' + m_name; }
    uid_t linkOwner() const { return m_linkInfo.st_uid; }

    // Entry: the folder and the name in it; whether it exists and, if so, what lstat() said.
    QByteArray folder() const { return m_folder.isEmpty() ? QByteArray("/") : m_folder; }
    QByteArray name() const { return m_name; }
    bool exists() const { return m_exists; }
    const struct stat& info() const { return m_info; }
    const struct stat& folderInfo() const { return m_folderInfo; }
    // Entry: another process's descriptor (/proc/PID/fd/N), which only the kernel can follow.
    bool followedByKernel() const { return m_followedByKernel; }

private:
    static OutputPath failed(int error);

    End m_end = End::Failed;
    int m_error = 0;
    int m_descriptor = -1;
    QByteArray m_folder; // empty for the root folder
    QByteArray m_name;
    bool m_exists = false;
    bool m_followedByKernel = false;
    struct stat m_info = {};
    struct stat m_folderInfo = {};
    struct stat m_linkInfo = {};
};

} // namespace kelviq
