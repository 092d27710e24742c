// The lock that every program of the suite takes while it changes one of the text files
// that programs and workstations share in a folder (GlobalSetting.ini, the calendar memo
// files, the host profile): an fcntl write lock on the hidden file ".velo-files.lock" in
// that folder, held from reading the file for the change until its new content is in place.
// Two programs changing a file at the same moment therefore take turns, and each builds its
// change on what the other wrote. Reading a file only to show it needs no lock: every
// writer replaces the file in one rename.
//
// The lock is an open-file-description lock, so it also keeps two threads of one program
// apart, and it is one the network file systems pass on to the server, so it holds between
// workstations sharing the folder too. The lock file stays in the folder; it holds nothing.
#pragma once

#include <string>

class CSharedFileLock final {
public:
    static constexpr char kLockFileName[] = ".velo-files.lock";
    // How long a change waits for another program's change to end before it gives up.
    static constexpr int kDefaultWaitMs = 10000;

    // Takes the lock of the folder holding `filePath` (the file about to be changed), waiting
    // while another program holds it, at most waitMs. IsLocked tells whether it was taken.
    // REQUIRES: this thread does not hold the folder's lock already (it would wait for
    // itself until waitMs runs out).
    explicit CSharedFileLock(const std::string& filePath, int waitMs = kDefaultWaitMs);
    // Releases the lock.
    ~CSharedFileLock();
    CSharedFileLock(const CSharedFileLock&) = delete;
    CSharedFileLock& operator=(const CSharedFileLock&) = delete;

    bool IsLocked() const { return m_fd >= 0; }
    // Why the lock could not be taken, naming the lock file; "" while it is held.
    const std::string& Error() const { return m_error; }

private:
    int m_fd = -1;
    std::string m_error;
};
