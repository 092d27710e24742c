// Consistent copies of table files: see tablesnapshot.h. Each file is read through SQLite's
// own handle of it, so that no descriptor of ours, when closed, drops a lock that this
// process's record manager holds on the same file.
#include "tablesnapshot.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "backupstrings.h"

namespace velodb {
namespace {

constexpr int kChangeCounterOffset = 24;
constexpr size_t kCopyChunk = 1 << 20;
// How long a copy waits for a save in progress before the file counts as unreadable.
constexpr int kWaitForSaveMs = 30000;

std::function<void(const std::string&)>& CopyHook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

// What tells one committed state of a file from another: the file itself and its counter.
struct SFileState {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint32_t counter = 0;
    bool operator==(const SFileState&) const = default;
};

// A read transaction on a connection of our own: while it lasts no save can change the
// file, and what is read is one committed state of it (a save half written by a crashed
// program is rolled back first, when the folder may be written).
class CReadTransaction final {
public:
    CReadTransaction(const std::string& path) : m_path(path) {}
    ~CReadTransaction() {
        if (m_db == nullptr) return;
        sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
    }
    CReadTransaction(const CReadTransaction&) = delete;
    CReadTransaction& operator=(const CReadTransaction&) = delete;

    bool Begin(std::string* error) {
        int rc = sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc != SQLITE_OK && ::access(m_path.c_str(), W_OK) != 0) {
            sqlite3_close_v2(m_db);
            m_db = nullptr;
            rc = sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr);
        }
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(m_db, kWaitForSaveMs);
            rc = sqlite3_exec(m_db, "BEGIN; SELECT count(*) FROM sqlite_schema", nullptr, nullptr,
                              nullptr);
        }
        if (rc == SQLITE_OK)
            rc = sqlite3_file_control(m_db, "main", SQLITE_FCNTL_FILE_POINTER, &m_file);
        if (rc != SQLITE_OK || m_file == nullptr || m_file->pMethods == nullptr) {
            *error = m_db ? sqlite3_errmsg(m_db) : std::strerror(ENOMEM);
            return false;
        }
        return true;
    }

    bool Size(sqlite3_int64* size) const {
        return m_file->pMethods->xFileSize(m_file, size) == SQLITE_OK;
    }
    bool Read(void* buffer, int length, sqlite3_int64 offset) const {
        return m_file->pMethods->xRead(m_file, buffer, length, offset) == SQLITE_OK;
    }

    // The file's identity and change counter as they stand under this transaction.
    bool State(SFileState* state) const {
        unsigned char bytes[4] = {};
        struct stat st {};
        if (!Read(bytes, sizeof bytes, kChangeCounterOffset) || ::stat(m_path.c_str(), &st) != 0)
            return false;
        state->device = uint64_t(st.st_dev);
        state->inode = uint64_t(st.st_ino);
        state->counter = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) |
                         (uint32_t(bytes[2]) << 8) | uint32_t(bytes[3]);
        return true;
    }

private:
    std::string m_path;
    sqlite3* m_db = nullptr;
    sqlite3_file* m_file = nullptr;
};

std::string PathIn(const std::string& folder, const std::string& name) {
    return (std::filesystem::path(folder) / name).string();
}

bool CopyFile(const std::string& folder, const std::string& name, const std::string& toFolder,
              SFileState* state, std::string* error) {
    CReadTransaction transaction(PathIn(folder, name));
    std::string why;
    sqlite3_int64 size = 0;
    if (!transaction.Begin(&why) || !transaction.Size(&size) || !transaction.State(state)) {
        *error = BackupText(kIdsBackupTableUnreadable, {name, why.empty() ? "I/O" : why});
        return false;
    }
    const std::string target = PathIn(toFolder, name);
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = BackupText(kIdsBackupWorkFolderFailed, {target + ": " + std::strerror(errno)});
        return false;
    }
    std::vector<char> chunk(kCopyChunk);
    bool copied = true;
    for (sqlite3_int64 at = 0; copied && at < size;) {
        const int length = int(std::min<sqlite3_int64>(sqlite3_int64(chunk.size()), size - at));
        if (!transaction.Read(chunk.data(), length, at)) {
            *error = BackupText(kIdsBackupTableUnreadable, {name, "I/O"});
            copied = false;
        } else if (::write(fd, chunk.data(), size_t(length)) != length) {
            *error = BackupText(kIdsBackupWorkFolderFailed, {target + ": " + std::strerror(errno)});
            copied = false;
        }
        at += length;
    }
    ::close(fd);
    return copied;
}

bool ReadState(const std::string& folder, const std::string& name, SFileState* state,
               std::string* error) {
    CReadTransaction transaction(PathIn(folder, name));
    std::string why;
    if (transaction.Begin(&why) && transaction.State(state)) return true;
    *error = BackupText(kIdsBackupTableUnreadable, {name, why.empty() ? "I/O" : why});
    return false;
}

}  // namespace

bool SnapshotTableFiles(const std::string& folder, const std::vector<std::string>& names,
                        const std::string& toFolder, int* passes, std::string* error) {
    std::map<std::string, SFileState> copied;
    std::vector<std::string> toCopy = names;
    for (int pass = 1; pass <= kSnapshotMaxPasses; ++pass) {
        for (const std::string& name : toCopy) {
            if (!CopyFile(folder, name, toFolder, &copied[name], error)) return false;
            if (CopyHook()) CopyHook()(name);
        }
        // Every file is read again after the last copy: a save that reached one copy but not
        // another changed a counter after that copy was taken.
        toCopy.clear();
        for (const std::string& name : names) {
            SFileState now;
            if (!ReadState(folder, name, &now, error)) return false;
            if (!(now == copied[name])) toCopy.push_back(name);
        }
        if (toCopy.empty()) {
            if (passes != nullptr) *passes = pass;
            return true;
        }
    }
    *error = BackupText(kIdsBackupTablesKeptChanging, {std::to_string(kSnapshotMaxPasses)});
    return false;
}

void SetSnapshotCopyHookForTesting(std::function<void(const std::string& name)> hook) {
    CopyHook() = std::move(hook);
}

}  // namespace velodb
