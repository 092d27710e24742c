// Consistent copies of table files: see tablesnapshot.h. Each file is read through SQLite's
// own handle of it, so that no descriptor of ours, when closed, drops a lock that this
// process's record manager holds on the same file.
#include "tablesnapshot.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "backupstrings.h"

namespace velodb {
namespace {

constexpr int kChangeCounterOffset = 24;
constexpr size_t kCopyChunk = 1 << 20;
// How long a copy waits for a save in progress before the file counts as unreadable.
constexpr int kWaitForSaveMs = 10000;
// Passes that lock one file at a time before the snapshot holds every file at once.
constexpr int kOneByOnePasses = 4;
// What may be copied again while every file is held: little enough to copy in a fraction of
// the busy timeout, so that a save held off meanwhile never waits longer than that. Larger
// changes are copied one file at a time again, and the next pass tries once more.
constexpr uintmax_t kMostBytesCopiedHoldingAll = 16u << 20;

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

// One table file on a connection of our own. While a read transaction is open no save can
// change the file, and what is read is one committed state of it (a save half written by a
// crashed program is rolled back first, when the folder may be written).
class CTableReader final {
public:
    explicit CTableReader(std::string path) : m_path(std::move(path)) {}
    ~CTableReader() {
        End();
        if (m_db != nullptr) sqlite3_close_v2(m_db);
    }
    CTableReader(const CTableReader&) = delete;
    CTableReader& operator=(const CTableReader&) = delete;

    // Opens a read transaction, waiting up to waitMs for a save in progress. False with
    // *busy set when the wait ran out, or with a message in *error when the file cannot be
    // read.
    bool Begin(int waitMs, bool* busy, std::string* error) {
        *busy = false;
        if (m_db == nullptr && !Open(error)) return false;
        m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        sqlite3_busy_handler(m_db, waitMs > 0 ? &CTableReader::WaitBriefly : nullptr, this);
        int rc = sqlite3_exec(m_db, "BEGIN; SELECT count(*) FROM sqlite_schema", nullptr, nullptr,
                              nullptr);
        m_inTransaction = sqlite3_get_autocommit(m_db) == 0;
        if (rc == SQLITE_OK)
            rc = sqlite3_file_control(m_db, "main", SQLITE_FCNTL_FILE_POINTER, &m_file);
        if (rc == SQLITE_OK && m_file != nullptr && m_file->pMethods != nullptr) return true;
        *busy = (rc & 0xff) == SQLITE_BUSY;
        *error = sqlite3_errmsg(m_db);
        End();
        return false;
    }
    const std::string& Path() const { return m_path; }

    void End() {
        if (m_inTransaction) sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        m_inTransaction = false;
        m_file = nullptr;
    }

    // REQUIRES: in a read transaction.
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

    // Copies the whole file to `target`. REQUIRES: in a read transaction.
    bool CopyTo(const std::string& target, std::string* error) const {
        sqlite3_int64 size = 0;
        if (m_file->pMethods->xFileSize(m_file, &size) != SQLITE_OK) {
            *error = BackupText(kIdsReadError);
            return false;
        }
        const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) {
            *error = target + ": " + std::strerror(errno);
            return false;
        }
        std::vector<char> chunk(kCopyChunk);
        bool copied = true;
        for (sqlite3_int64 at = 0; copied && at < size;) {
            const int length = int(std::min<sqlite3_int64>(sqlite3_int64(chunk.size()), size - at));
            if (!Read(chunk.data(), length, at)) {
                *error = BackupText(kIdsReadError);
                copied = false;
            } else if (::write(fd, chunk.data(), size_t(length)) != length) {
                *error = target + ": " + std::strerror(errno);
                copied = false;
            }
            at += length;
        }
        ::close(fd);
        return copied;
    }

private:
    // SQLite's own wait sleeps longer and longer between tries, and a program that saves
    // again and again can keep a reader out for seconds that way: tries that come often
    // find the moments between two saves.
    static int WaitBriefly(void* self, int) {
        if (std::chrono::steady_clock::now() >= static_cast<CTableReader*>(self)->m_deadline)
            return 0;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        return 1;
    }

    bool Open(std::string* error) {
        int rc = sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc != SQLITE_OK && ::access(m_path.c_str(), W_OK) != 0) {
            sqlite3_close_v2(m_db);
            rc = sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr);
        }
        if (rc == SQLITE_OK) return true;
        *error = m_db != nullptr ? sqlite3_errmsg(m_db) : std::strerror(ENOMEM);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return false;
    }
    bool Read(void* buffer, int length, sqlite3_int64 offset) const {
        return m_file->pMethods->xRead(m_file, buffer, length, offset) == SQLITE_OK;
    }

    std::string m_path;
    sqlite3* m_db = nullptr;
    sqlite3_file* m_file = nullptr;
    bool m_inTransaction = false;
    std::chrono::steady_clock::time_point m_deadline;
};

struct STable {
    std::string name;
    std::unique_ptr<CTableReader> reader;
    SFileState copied;  // the state its copy shows
};

class CSnapshot final {
public:
    CSnapshot(const std::string& folder, const std::vector<std::string>& names,
              const std::string& toFolder)
        : m_toFolder(toFolder) {
        for (const std::string& name : names)
            m_tables.push_back({name, std::make_unique<CTableReader>(PathIn(folder, name)), {}});
    }

    bool Take(int* passes, std::string* error) {
        std::vector<STable*> toCopy;
        for (STable& table : m_tables) toCopy.push_back(&table);
        for (int pass = 1; pass <= kSnapshotMaxPasses; ++pass) {
            if (pass > kOneByOnePasses) {
                bool taken = false;
                if (!TakeAllAtOnce(&taken, error)) return false;
                if (!taken) continue;
            } else {
                for (STable* table : toCopy)
                    if (!CopyOne(table, error)) return false;
                // Every file is read again after the last copy: a save that reached one copy
                // but not another changed a counter after that copy was taken.
                if (!FindChanged(&toCopy, error)) return false;
                if (!toCopy.empty()) continue;
            }
            if (passes != nullptr) *passes = pass;
            return true;
        }
        *error = BackupText(kIdsBackupTablesKeptChanging, {std::to_string(kSnapshotMaxPasses)});
        return false;
    }

private:
    static std::string PathIn(const std::string& folder, const std::string& name) {
        return (std::filesystem::path(folder) / name).string();
    }

    bool Unreadable(const STable& table, const std::string& why, std::string* error) {
        *error = BackupText(kIdsBackupTableUnreadable,
                            {table.name, why.empty() ? BackupText(kIdsReadError) : why});
        return false;
    }

    bool CopyOne(STable* table, std::string* error) {
        bool busy = false;
        std::string why;
        if (!table->reader->Begin(kWaitForSaveMs, &busy, &why) ||
            !table->reader->State(&table->copied) ||
            !table->reader->CopyTo(PathIn(m_toFolder, table->name), &why)) {
            table->reader->End();
            return Unreadable(*table, why, error);
        }
        table->reader->End();
        if (CopyHook()) CopyHook()(table->name);
        return true;
    }

    bool FindChanged(std::vector<STable*>* changed, std::string* error) {
        changed->clear();
        for (STable& table : m_tables) {
            bool busy = false;
            std::string why;
            SFileState now;
            const bool read =
                table.reader->Begin(kWaitForSaveMs, &busy, &why) && table.reader->State(&now);
            table.reader->End();
            if (!read) return Unreadable(table, why, error);
            if (!(now == table.copied)) changed->push_back(&table);
        }
        return true;
    }

    // Saves kept coming between the one-by-one passes: every file is held at once for a
    // moment, the files changed since their copy are copied again, and all are let go. A
    // file that a save holds is not waited for while others are held (the save could be
    // waiting for one of them): all are let go, and the pass is tried again shortly.
    bool TakeAllAtOnce(bool* taken, std::string* error) {
        *taken = false;
        struct SRelease {
            std::vector<STable>& tables;
            ~SRelease() {
                for (STable& table : tables) table.reader->End();
            }
        } release{m_tables};
        for (int attempt = 0; attempt < 50; ++attempt) {
            bool allHeld = true;
            for (STable& table : m_tables) {
                bool busy = false;
                std::string why;
                if (table.reader->Begin(0, &busy, &why)) continue;
                if (!busy) return Unreadable(table, why, error);
                allHeld = false;
                break;
            }
            if (allHeld) break;
            for (STable& table : m_tables) table.reader->End();
            std::this_thread::sleep_for(std::chrono::milliseconds(2 + attempt));
            if (attempt == 49) return true;
        }
        std::vector<STable*> changed;
        uintmax_t bytes = 0;
        for (STable& table : m_tables) {
            SFileState now;
            if (!table.reader->State(&now)) return Unreadable(table, std::string(), error);
            if (now == table.copied) continue;
            changed.push_back(&table);
            std::error_code ec;
            bytes += std::filesystem::file_size(table.reader->Path(), ec);
        }
        if (bytes > kMostBytesCopiedHoldingAll) {
            for (STable& table : m_tables) table.reader->End();
            for (STable* table : changed)
                if (!CopyOne(table, error)) return false;
            return true;
        }
        for (STable* table : changed) {
            std::string why;
            if (!table->reader->State(&table->copied) ||
                !table->reader->CopyTo(PathIn(m_toFolder, table->name), &why))
                return Unreadable(*table, why, error);
        }
        *taken = true;
        return true;
    }

    std::string m_toFolder;
    std::vector<STable> m_tables;
};

}  // namespace

bool SnapshotTableFiles(const std::string& folder, const std::vector<std::string>& names,
                        const std::string& toFolder, int* passes, std::string* error) {
    CSnapshot snapshot(folder, names, toFolder);
    return snapshot.Take(passes, error);
}

void SetSnapshotCopyHookForTesting(std::function<void(const std::string& name)> hook) {
    CopyHook() = std::move(hook);
}

}  // namespace velodb
