// What a table file looks like from outside - which file it is, its size and its times -
// so that what was read from a small master can be kept until the file changes. Every commit
// to a file changes its modification time (and the time of its last status change, which no
// program can set back); a copy put in its place is another file or has another size.
#pragma once

#include <cstdint>
#include <string>

struct CTableStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t modified = 0;  // nanoseconds since the epoch
    int64_t changed = 0;   // last status change, nanoseconds since the epoch
    // The file's last change lay further back than the file system's clock resolution when
    // the stamp was taken: a later change cannot leave the same modification time behind.
    bool settled = false;

    bool SameFileState(const CTableStamp& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified == other.modified && changed == other.changed;
    }
};

// True when the tables of `folder` live on a database server (the folder holds the server's
// connection file), or when that cannot be told because the file is there but unreadable. A
// table file of the same name in such a folder (velodb push leaves the old ones behind) is
// never written again, so its stamp or time says nothing about the table.
bool TablesLiveOnServer(const std::string& folder);

// Stamps `fileName` in `folder` (with its trailing "/"). False when it is not a file there or
// the folder's tables live on the database server: nothing read from it may then be kept.
bool StampTableFile(const std::string& folder, const std::string& fileName, CTableStamp* stamp);

// True when what was read after taking `kept` still stands for the file now stamped `now`:
// the same file, unchanged since, and settled when it was kept, so that no change made in the
// same tick of the clock can hide behind an equal stamp.
inline bool StillCurrent(const CTableStamp& kept, const CTableStamp& now) {
    return kept.settled && kept.SameFileState(now);
}
