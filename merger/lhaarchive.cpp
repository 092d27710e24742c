// LHA archives: extraction through libarchive behind the archiver's command-line call, and a
// writer of stored entries with level-0 headers.
//
// Level-0 header of one entry, followed by the entry's bytes (stored, "-lh0-"):
//
// OFFSET SIZE FIELD       MEANING
//      0    1 headerSize  bytes of the header after the first two
//      1    1 checksum    sum of those bytes, modulo 256
//      2    5 method      "-lh0-"
//      7    4 packedSize  bytes of data (little endian)
//     11    4 originalSize
//     15    4 dosTime     modification time, MS-DOS format, local time (time word first)
//     19    1 attribute   0x20
//     20    1 level       0
//     21    1 nameLength  n
//     22    n name
//   22+n    2 crc         CRC-16 (polynomial 0xA001, reflected, start 0) of the data
//
// A single zero byte ends the archive.
#include "merger/lhaarchive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "suite/text/atomicfile.h"
#include "suite/text/privatefiles.h"

namespace unita {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxEntryName = 200;

uint16_t Crc16(std::string_view bytes) {
    uint16_t crc = 0;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

void Put16(std::string& out, uint32_t value) {
    out += char(value & 0xff);
    out += char((value >> 8) & 0xff);
}

void Put32(std::string& out, uint32_t value) {
    Put16(out, value & 0xffff);
    Put16(out, value >> 16);
}

uint32_t DosTime(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    localtime_r(&t, &local);
    const int year = std::clamp(local.tm_year + 1900, 1980, 2107);
    const uint32_t date =
        uint32_t(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    const uint32_t time =
        uint32_t((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    return (date << 16) | time;
}

// Splits a command line into words; a double-quoted word may hold blanks. A quote left open
// gives no words: the line cannot say which folder it meant.
std::vector<std::string> SplitCommand(const char* command) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (const char* p = command; *p; ++p) {
        if (*p == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (*p == ' ' && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += *p;
            inWord = true;
        }
    }
    if (quoted) return {};
    if (inWord) words.push_back(word);
    return words;
}

// The entry's path inside the destination, or false for a path that would leave it.
bool SafeRelativePath(std::string name, fs::path* out) {
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.empty() || name.front() == '/') return false;
    fs::path relative;
    std::stringstream parts(name);
    std::string part;
    while (std::getline(parts, part, '/')) {
        if (part.empty() || part == ".") continue;
        if (part == ".." || part.find(':') != std::string::npos) return false;
        relative /= part;
    }
    if (relative.empty()) return false;
    *out = relative;
    return true;
}

struct SExtracted {
    fs::path m_path;
    bool m_folder = false;
    std::string m_bytes;
    int64_t m_modified = 0;
};

int Fail(int code, const std::string& text, char* output, uint32_t outputSize) {
    if (output && outputSize > 0) {
        std::snprintf(output, outputSize, "%s", text.c_str());
    }
    return code;
}

// Reads every entry of the archive into memory, so nothing is written unless the whole
// archive reads and every name is safe.
int ReadArchive(const std::string& archivePath, std::vector<SExtracted>* entries,
                std::string* error) {
    struct archive* reader = archive_read_new();
    archive_read_support_format_lha(reader);
    archive_read_support_filter_none(reader);
    if (archive_read_open_filename(reader, archivePath.c_str(), 64 * 1024) != ARCHIVE_OK) {
        *error = "cannot open " + archivePath + ": " + archive_error_string(reader);
        archive_read_free(reader);
        return kLhaCannotRead;
    }
    int code = 0;
    struct archive_entry* entry = nullptr;
    int rc;
    while ((rc = archive_read_next_header(reader, &entry)) == ARCHIVE_OK) {
        const char* name = archive_entry_pathname(entry);
        SExtracted item;
        if (!name || !SafeRelativePath(name, &item.m_path)) {
            *error = std::string("refused entry ") + (name ? name : "(no name)");
            code = kLhaUnsafeEntry;
            break;
        }
        item.m_modified = archive_entry_mtime(entry);
        const mode_t type = archive_entry_filetype(entry);
        if (type == AE_IFDIR) {
            item.m_folder = true;
        } else if (type == AE_IFREG) {
            char block[64 * 1024];
            la_ssize_t got;
            while ((got = archive_read_data(reader, block, sizeof block)) > 0)
                item.m_bytes.append(block, size_t(got));
            if (got < 0) {
                *error = std::string("cannot read ") + name + ": " + archive_error_string(reader);
                code = kLhaCannotRead;
                break;
            }
        } else {
            continue;  // links and devices have no place in a database folder
        }
        entries->push_back(std::move(item));
    }
    if (code == 0 && rc != ARCHIVE_EOF) {
        *error = "cannot read " + archivePath + ": " + archive_error_string(reader);
        code = kLhaCannotRead;
    }
    archive_read_free(reader);
    return code;
}

// Removes the temporary files an extraction killed before its renames left beside the
// entries' targets ("NAME.tmp" and six characters, as WriteFileAtomically names them).
void RemoveStaleTemporaries(const std::vector<SExtracted>& entries, const fs::path& destination) {
    std::error_code ec;
    for (const SExtracted& item : entries) {
        if (item.m_folder) continue;
        const fs::path target = destination / item.m_path;
        const std::string prefix = target.filename().string() + ".tmp";
        for (const fs::directory_entry& found : fs::directory_iterator(target.parent_path(), ec)) {
            const std::string name = found.path().filename().string();
            if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0 &&
                found.is_regular_file(ec))
                fs::remove(found.path(), ec);
        }
    }
}

}  // namespace

int Unlha(void* /*owner*/, const char* command, char* output, uint32_t outputSize) {
    if (output && outputSize > 0) std::memset(output, 0, outputSize);
    std::vector<std::string> words = SplitCommand(command ? command : "");
    std::vector<std::string> operands;
    for (size_t i = 1; i < words.size(); ++i) {
        if (!words[i].empty() && words[i][0] == '-') continue;
        operands.push_back(words[i]);
    }
    if (words.empty() || words[0] != "x" || operands.size() != 2 || operands[1].empty()) {
        return Fail(kLhaBadCommand, "usage: x [-switches] \"archive\" \"destination/\"", output,
                    outputSize);
    }
    const std::string& archivePath = operands[0];
    const fs::path destination(operands[1]);

    std::vector<SExtracted> entries;
    std::string error;
    if (int code = ReadArchive(archivePath, &entries, &error); code != 0) {
        return Fail(code, error, output, outputSize);
    }
    // A folder that cannot be made fails the first file written into it.
    std::string folderError;
    privatefiles::MakePrivateFolder(destination.string(), &folderError);
    RemoveStaleTemporaries(entries, destination);
    int files = 0;
    for (const SExtracted& item : entries) {
        const fs::path target = destination / item.m_path;
        if (item.m_folder) {
            privatefiles::MakePrivateFolder(target.string(), &folderError);
            continue;
        }
        privatefiles::MakePrivateFolder(target.parent_path().string(), &folderError);
        if (!WriteFileAtomically(target.string(), item.m_bytes, &error)) {
            return Fail(kLhaCannotWrite, error, output, outputSize);
        }
        const struct timespec times[2] = {{time_t(item.m_modified), 0},
                                          {time_t(item.m_modified), 0}};
        utimensat(AT_FDCWD, target.c_str(), times, 0);
        ++files;
    }
    return Fail(0, std::to_string(files) + " files extracted", output, outputSize);
}

bool WriteLhaArchive(const std::string& path, const std::vector<SLhaEntry>& entries,
                     std::string* error) {
    std::string out;
    for (const SLhaEntry& entry : entries) {
        if (entry.m_name.empty() || entry.m_name.size() > kMaxEntryName) {
            if (error) *error = "entry name empty or too long: " + entry.m_name;
            return false;
        }
        if (entry.m_bytes.size() > 0xffffffffu) {
            if (error) *error = "entry too large: " + entry.m_name;
            return false;
        }
        std::string header;
        header += "-lh0-";
        Put32(header, uint32_t(entry.m_bytes.size()));
        Put32(header, uint32_t(entry.m_bytes.size()));
        Put32(header, DosTime(entry.m_modified));
        header += char(0x20);
        header += char(0);
        header += char(entry.m_name.size());
        header += entry.m_name;
        Put16(header, Crc16(entry.m_bytes));
        unsigned sum = 0;
        for (unsigned char c : header) sum += c;
        out += char(header.size());
        out += char(sum & 0xff);
        out += header;
        out += entry.m_bytes;
    }
    out += char(0);
    return WriteFileAtomically(path, out, error);
}

bool ReadFolderEntries(const std::string& folder, int64_t modified, std::vector<SLhaEntry>* entries,
                       std::string* error) {
    std::error_code ec;
    std::vector<fs::path> files;
    for (const fs::directory_entry& item : fs::directory_iterator(folder, ec)) {
        // Hidden files (a working file some program left behind) are no part of a database.
        if (item.is_regular_file() && item.path().filename().string()[0] != '.')
            files.push_back(item.path());
    }
    if (ec) {
        if (error) *error = "cannot list " + folder + ": " + ec.message();
        return false;
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream bytes;
        if (in.is_open() && fs::file_size(file, ec) > 0) bytes << in.rdbuf();
        if (!in.is_open() || in.bad() || ec) {
            if (error) *error = "cannot read " + file.string();
            return false;
        }
        entries->push_back({file.filename().string(), bytes.str(), modified});
    }
    return true;
}

}  // namespace unita
