// The LHA archive functions of the merger: the archiver call the empty database is unpacked
// with (command line in, text out, extraction by libarchive), and a writer of archives with
// stored ("-lh0-") entries, which the build uses to make "basedb.lzh".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace unita {

// Runs an archiver command line. Supported: x [-switches] "archive" "destination/" which
// extracts every entry of the archive into the destination folder (created when missing),
// overwriting existing files; each file is written atomically and gets the entry's
// modification time. Entries with an absolute path or a ".." part are refused, so an
// archive can never write outside the destination. Switches are accepted and ignored.
// The output buffer receives a short account (truncated to outputSize, zero-terminated).
// Returns 0 on success, else a non-zero error code (the account says what failed). owner
// is the window that would own a progress box; none is shown.
int Unlha(void* owner, const char* command, char* output, uint32_t outputSize);

// Error codes of Unlha.
constexpr int kLhaBadCommand = 1;
constexpr int kLhaCannotRead = 2;   // archive missing or not readable as LHA
constexpr int kLhaUnsafeEntry = 3;  // an entry would land outside the destination
constexpr int kLhaCannotWrite = 4;

// One stored entry of an archive to write: its name inside the archive and its bytes.
struct SLhaEntry {
    std::string m_name;
    std::string m_bytes;
    int64_t m_modified = 0;  // seconds since 1970 (local time in the archive)
};

// Writes an archive of stored entries (level-0 headers, CRC-16 of each entry's data) to
// path, atomically. Names must be at most 200 bytes. Returns false with a message in *error.
bool WriteLhaArchive(const std::string& path, const std::vector<SLhaEntry>& entries,
                     std::string* error);

// Every regular file directly in folder but hidden ones, in name order, as entries dated
// `modified`.
bool ReadFolderEntries(const std::string& folder, int64_t modified, std::vector<SLhaEntry>* entries,
                       std::string* error);

}  // namespace unita
