// The backup archive: a tar (GNU format) compressed with xz, written and read through libarchive, and
// its manifest, a text entry that lists every other entry with its size and SHA-256
// checksum, so that a restore can tell a whole archive from a damaged, cut or foreign one
// before it writes anything.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct archive;

namespace velodb {

// The manifest's name in the archive. It is written last, once every checksum is known.
constexpr char kManifestName[] = "velo-backup-manifest.txt";
// The manifest's first line; a later format would change the number.
constexpr char kManifestMagic[] = "velo-backup 1";

struct SManifestEntry {
    std::string m_path;  // relative to the database folder, "/" between parts
    bool m_folder = false;
    uint64_t m_size = 0;   // files only
    std::string m_sha256;  // files only, lower-case hex
    bool operator==(const SManifestEntry&) const = default;
};

struct SManifest {
    std::string m_created;  // ISO 8601 local time with offset
    std::string m_engine;   // "embedded" or "server": where the tables were read from
    std::string m_source;   // the database folder
    std::vector<SManifestEntry> m_entries;
};

// The manifest as text: the magic line, "created", "engine", "source" and "note" lines,
// then one line per entry: "folder PATH" or "file SHA256 SIZE PATH".
std::string FormatManifest(const SManifest& manifest);
// False when the text is not a manifest of this format.
bool ParseManifest(const std::string& text, SManifest* manifest);

// An entry path that a restore may write: relative, no "." or ".." part, no empty part, and
// none of the record manager's working files, journals, the lock file or the connection file,
// which belong to a live folder and must never come from an archive.
bool IsRestorableEntryPath(const std::string& path);
// A name in a database folder that a backup leaves out (see IsRestorableEntryPath), by its
// path relative to the folder.
bool IsLeftOutOfBackup(const std::string& relativePath);

// Writes an archive under a temporary name beside `path`, made visible under `path` only by
// Commit, after its bytes are on the disk. Destroyed without Commit, it removes the
// temporary file: a full disk or any failure leaves no partial archive behind.
class CArchiveWriter final {
public:
    CArchiveWriter();
    ~CArchiveWriter();
    CArchiveWriter(const CArchiveWriter&) = delete;
    CArchiveWriter& operator=(const CArchiveWriter&) = delete;

    bool Open(const std::string& path, std::string* error);
    bool AddFolder(const std::string& entryPath, std::string* error);
    // Adds the file at diskPath as entryPath, with its size and checksum in Entries().
    bool AddFile(const std::string& entryPath, const std::string& diskPath, std::string* error);
    // Adds bytes that are not listed in Entries() (the manifest itself).
    bool AddUnlisted(const std::string& entryPath, const std::string& bytes, std::string* error);
    // Ends the archive, syncs it and renames it to its final name.
    bool Commit(std::string* error);

    const std::vector<SManifestEntry>& Entries() const { return m_entries; }

    // Test hook: called before each write to the archive file with the bytes written so far;
    // returning false makes that write fail as on a full disk.
    static void SetWriteHookForTesting(std::function<bool(uint64_t written)> hook);

private:
    bool Failed(const std::string& what, std::string* error);
    bool WriteHeader(const std::string& entryPath, bool folder, uint64_t size, std::string* error);
    static ssize_t WriteCallback(struct archive*, void* self, const void* buffer, size_t length);

    struct archive* m_archive = nullptr;
    std::string m_path;
    std::string m_temporary;
    int m_fd = -1;
    uint64_t m_written = 0;
    int m_writeErrno = 0;
    std::vector<SManifestEntry> m_entries;
};

// Reads an archive entry by entry.
class CArchiveReader final {
public:
    CArchiveReader() = default;
    ~CArchiveReader();
    CArchiveReader(const CArchiveReader&) = delete;
    CArchiveReader& operator=(const CArchiveReader&) = delete;

    bool Open(const std::string& path, std::string* error);
    // 1 with the next entry's path and kind, 0 at the end of the archive, -1 on a damaged
    // archive (*error says why).
    int Next(std::string* path, bool* folder, bool* regular, std::string* error);
    // Reads the current entry's data in pieces: bytes read, 0 at its end, -1 when damaged.
    long long Read(void* buffer, size_t length, std::string* error);

private:
    struct archive* m_archive = nullptr;
};

// The SHA-256 of bytes, as lower-case hex, fed in pieces.
class CSha256 final {
public:
    CSha256();
    ~CSha256();
    void Add(const void* data, size_t length);
    std::string Hex();

private:
    struct SState;
    std::unique_ptr<SState> m_state;
};

}  // namespace velodb
