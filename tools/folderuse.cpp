// Telling a folder database in use: see folderuse.h.
#include "folderuse.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <string_view>

#include "backupstrings.h"
#include "suite/text/sharedfilelock.h"
#include "tablefile.h"

namespace velodb {
namespace {

// SQLite's lock bytes in every database file: the pending byte, the reserved byte and the
// range of shared locks after them.
constexpr off_t kSqliteLockStart = 0x40000000;
constexpr off_t kSqliteLockLength = 2 + 510;

// Whether another open file holds a lock on the range of `path`; `ofd` asks about the
// open-file-description locks (working files, the lock file), else about a process's
// locks (SQLite's).
bool LockedByOther(const std::string& path, off_t start, off_t length, bool ofd) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    const bool asked = ::fcntl(fd, ofd ? F_OFD_GETLK : F_GETLK, &lock) == 0;
    // Closing it drops this process's own SQLite locks on the file, if it held any; a restore
    // asks outside every transaction of its own, when it holds none.
    ::close(fd);
    return asked && lock.l_type != F_UNLCK;
}

// A working file's name: ".recman-" and the six letters or digits mkstemp fills in.
bool IsWorkingFileName(const std::string& name) {
    constexpr std::string_view prefix = ".recman-";
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (size_t i = prefix.size(); i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

}  // namespace

std::string FolderInUse(const std::string& folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (IsWorkingFileName(name) && LockedByOther(entry.path().string(), 0, 1, true))
            return BackupText(kIdsInUseWorkingFile, {name});
    }
    for (const std::string& table : ListTableFiles(folder)) {
        const std::string path = (std::filesystem::path(folder) / table).string();
        if (LockedByOther(path, kSqliteLockStart, kSqliteLockLength, false))
            return BackupText(kIdsInUseTableLocked, {table});
    }
    const std::string lockFile =
        (std::filesystem::path(folder) / CSharedFileLock::kLockFileName).string();
    if (LockedByOther(lockFile, 0, 0, true)) return BackupText(kIdsInUseFilesLocked);
    return std::string();
}

}  // namespace velodb
