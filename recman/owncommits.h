// The change counters that this process's own commits left in table files. The engine notes
// them after each commit; a change watch leaves them out, so that a window that saved is not
// told about its own save and does not reload a second time.
//
// SQLite adds one to a file's change counter with every commit that changes the file, so the
// values between two readings of a counter name the commits made in between, each of them
// either this process's or another's.
#pragma once

#include <cstdint>
#include <string>

namespace recman {

// Notes that a commit of this process left `counter` in the table file at canonicalPath (its
// canonical absolute path, as the engine keeps it).
void NoteOwnCommit(const std::string& canonicalPath, uint32_t counter);

// True when every commit that took the file's counter from `from` to `to` is one this process
// noted. False for a counter that went backwards or jumped further than the commits remembered.
bool OwnCommitsOnly(const std::string& canonicalPath, uint32_t from, uint32_t to);

}  // namespace recman
