// Stamps of table files, taken with stat.
#include "suite/dbcall/tablestamp.h"

#include <sys/stat.h>
#include <time.h>

#include "recman/recman.h"

namespace {

// Longer than any file system's timestamp resolution and the lag of the coarse clock the
// kernel stamps files with.
constexpr int64_t kSettledAfterNs = 1'000'000'000;

int64_t Nanoseconds(const timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + static_cast<int64_t>(t.tv_nsec);
}

}  // namespace

bool TablesLiveOnServer(const std::string& folder) {
    std::string conninfo;
    return recman::ServerConnInfo(folder, &conninfo) != recman::kFileNotFound;
}

bool StampTableFile(const std::string& folder, const std::string& fileName, CTableStamp* stamp) {
    struct stat info {};
    if (folder.empty() || TablesLiveOnServer(folder) ||
        ::stat((folder + fileName).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    stamp->device = static_cast<uint64_t>(info.st_dev);
    stamp->inode = static_cast<uint64_t>(info.st_ino);
    stamp->size = static_cast<uint64_t>(info.st_size);
    stamp->modified = Nanoseconds(info.st_mtim);
    stamp->changed = Nanoseconds(info.st_ctim);
    stamp->settled = Nanoseconds(now) - stamp->modified > kSettledAfterNs;
    return true;
}
