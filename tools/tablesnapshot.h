// Copies of a folder database's table files that all show one moment, taken while other
// programs keep saving. A save commits to several table files at once, so copying one file
// after another could catch a save in some files and miss it in others. Each file is
// copied inside a read transaction on a connection of our own (no save can change it
// meanwhile), and its change counter (bytes 24-27 of the SQLite header, raised by every
// commit) is noted with the copy. Once every file is copied, each counter is read again;
// the files whose counter moved are copied again, until one pass finds every counter as it
// was when its copy was taken. No lock is held across files: a save waits at most for the
// copy of one file, well within its busy timeout.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace velodb {

// How many passes over the files a snapshot makes before it gives up.
constexpr int kSnapshotMaxPasses = 12;

// Copies the table files `names` of `folder` into `toFolder` (an existing private folder)
// as they stood at one moment. On success *passes (when given) tells how many copy passes
// it took (1 when nothing changed meanwhile). On failure returns false with a message in
// the system's words in *error: a file that cannot be read, or saves that kept changing
// the files for kSnapshotMaxPasses passes.
bool SnapshotTableFiles(const std::string& folder, const std::vector<std::string>& names,
                        const std::string& toFolder, int* passes, std::string* error);

// Test hook: runs after each file's copy, with the file's name, outside every lock. Pass an
// empty function to remove it.
void SetSnapshotCopyHookForTesting(std::function<void(const std::string& name)> hook);

}  // namespace velodb
