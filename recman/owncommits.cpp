// The own commits of this process: the engine's side (which files a transaction changed, and
// the counters its commit left in them) and the memory of those counters.
#include "recman/owncommits.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <unordered_map>

#include "recman/sqliteengine.h"

namespace recman {
namespace {

// Counters remembered per file: more than a window's poll interval ever sees from one
// program; past them a change is reported, which only costs a reload.
constexpr uint32_t kRemembered = 64;

struct Remembered {
    std::array<uint32_t, kRemembered> counters{};
    uint32_t count = 0;  // counters noted so far; the newest at (count - 1) % kRemembered

    void Add(uint32_t counter) { counters[count++ % kRemembered] = counter; }
    bool Has(uint32_t counter) const {
        const uint32_t n = std::min(count, kRemembered);
        return std::find(counters.begin(), counters.begin() + n, counter) != counters.begin() + n;
    }
};

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

std::unordered_map<std::string, Remembered>& Files() {
    static auto* files = new std::unordered_map<std::string, Remembered>;
    return *files;
}

}  // namespace

void NoteOwnCommit(const std::string& canonicalPath, uint32_t counter) {
    std::lock_guard<std::mutex> hold(Lock());
    Files()[canonicalPath].Add(counter);
}

bool OwnCommitsOnly(const std::string& canonicalPath, uint32_t from, uint32_t to) {
    const uint32_t commits = to - from;  // modulo 2^32, as the counter wraps
    if (commits == 0) return true;
    if (commits > kRemembered) return false;
    std::lock_guard<std::mutex> hold(Lock());
    const auto file = Files().find(canonicalPath);
    if (file == Files().end()) return false;
    for (uint32_t i = 1; i <= commits; ++i)
        if (!file->second.Has(from + i)) return false;
    return true;
}

void SqliteEngine::NoteOwnChange(TableFile* file) {
    // A write that changed no row (an update of a record another process deleted) leaves the
    // counter alone; noting the counter then would hide that other process's commit.
    if (!m_db || sqlite3_changes(m_db) == 0) return;
    if (!m_inTransaction) {  // the statement has committed on its own
        if (file->header) NoteOwnCommit(file->path, file->ChangeCounter());
        return;
    }
    if (std::find(m_ownChanges.begin(), m_ownChanges.end(), file->path) == m_ownChanges.end())
        m_ownChanges.push_back(file->path);
}

void SqliteEngine::TellOwnCommits() {
    // Read right after the commit: should another process commit in between, the counter
    // noted is its and this process's own stays unaccounted for, so the change is reported
    // all the same; nothing another process commits is ever taken for this one's.
    for (const std::string& path : m_ownChanges) {
        const auto it = m_files.find(path);
        if (it != m_files.end() && it->second->header)
            NoteOwnCommit(path, it->second->ChangeCounter());
    }
    m_ownChanges.clear();
}

}  // namespace recman
