// The private working file of a process's connection, and the tidying of the working files
// that processes left behind when they ended without closing (killed, or cut off by a power
// failure).
//
// A process holds its working file locked for as long as it lives: a lock on its first byte
// that belongs to the open file (not to the process's other descriptors, and far from the
// bytes SQLite locks), which the system drops when the process dies. A working file whose
// lock can be taken has no live owner. Beside a working file SQLite writes the super-journal
// of a commit across several files (the working file's name followed by "-mj" and a number);
// it must outlive its owner until every file of that commit has been rolled back, or a commit
// cut short would count as done in some files.
#pragma once

#include <string>

namespace recman {

class WorkingFile {
public:
    WorkingFile() = default;
    ~WorkingFile() { Close(); }
    WorkingFile(const WorkingFile&) = delete;
    WorkingFile& operator=(const WorkingFile&) = delete;

    // Makes a new empty working file from `pattern` (a path ending in "XXXXXX") and locks
    // it. Returns false when the file cannot be made or locked; nothing is left behind then.
    bool Make(const std::string& pattern);
    // Removes the file (and a journal of it) and lets go of the lock.
    void Remove();
    // Lets go of the lock and forgets the file without removing it (its folder is gone).
    void Close();
    const std::string& Path() const { return m_path; }
    bool IsOpen() const { return m_fd >= 0; }

private:
    std::string m_path;
    int m_fd = -1;
};

// Removes from `folder` the working files named `prefix` followed by six letters or digits
// whose owners are gone. Their super-journals go too, once each file a super-journal names
// has been rolled back (opening it does that; each waits up to busyTimeoutMs for a process
// holding it); a super-journal still needed stays for a later pass. Files of live processes
// are never touched.
void RemoveAbandonedWorkingFiles(const std::string& folder, const std::string& prefix,
                                 int busyTimeoutMs);

}  // namespace recman
