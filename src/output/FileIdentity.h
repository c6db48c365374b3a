#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace kelviq {

// Which file an open descriptor or a path really is (device and inode), so that two names for
// one file - links, symbolic links, "./" - are recognised as the same file.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    bool valid = false;

    static FileIdentity of(const struct stat& info) { return {info.st_dev, info.st_ino, true}; }

    bool sameFileAs(const FileIdentity& other) const
    {
        return valid && other.valid && device == other.device && inode == other.inode;
    }
};

} // namespace kelviq
