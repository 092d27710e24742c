// The record manager: fixed-length records in table files, reached through the
// single entry point BTRCALL with the operation codes and statuses of the classic
// record-manager interface.
//
// Two engines keep the tables. The embedded engine, the default: each table file
// (NAME.BTR) is a SQLite database of its own that carries its record length and key
// definitions, so a database folder can be copied file by file. One SQLite connection per
// process holds the table files attached; a transaction (operations 19, 20, 21) spans
// every file the process touches and is atomic also when the process is killed during the
// commit. Several processes may use one folder: a writer that finds a file busy waits for
// the busy timeout and then gets status 85.
//
// The server engine, for several workstations: when the database folder holds the
// connection file (kServerConnInfoFile), the tables opened as FOLDER/NAME.BTR live in the
// PostgreSQL database that the file names, with the same operations, key orders and
// statuses. One connection per process; a transaction spans every table it touches.
//
// Nothing here throws; every failure is a status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

extern "C" {
// op       operation code (recman::Op)
// posBlock 128-byte position block: zeroed by the caller before Open, opaque after it
// dataBuf  record buffer; *dataLen is its size on input and the record length on output
// keyBuf   key value; keyLen is its size (at least the key's length for key operations)
// keyNum   key number for key operations; the open mode for Open; overwrite mode for Create
// Returns a status (recman::Status), 0 for success.
int BTRCALL(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen, void* keyBuf,
            uint8_t keyLen, int8_t keyNum);
}

namespace recman {

constexpr int kPositionBlockSize = 128;
constexpr int kMaxKeyLength = 255;
constexpr int kMaxKeys = 24;
constexpr int kMaxRecordLength = 65535;

enum Op : uint16_t {
    kOpOpen = 0,
    kOpClose = 1,
    kOpInsert = 2,
    kOpUpdate = 3,
    kOpDelete = 4,
    kOpGetEqual = 5,
    kOpGetNext = 6,
    kOpGetPrevious = 7,
    kOpGetGreater = 8,
    kOpGetGreaterOrEqual = 9,
    kOpGetLess = 10,
    kOpGetLessOrEqual = 11,
    kOpGetFirst = 12,
    kOpGetLast = 13,
    kOpCreate = 14,
    kOpStat = 15,
    kOpBeginTransaction = 19,
    kOpEndTransaction = 20,
    kOpAbortTransaction = 21,
    kOpGetPosition = 22,
    kOpGetDirect = 23,
};

enum Status : int {
    kOk = 0,
    kInvalidOperation = 1,
    kIoError = 2,
    kFileNotOpen = 3,
    kKeyNotFound = 4,
    kDuplicateKey = 5,
    kInvalidKeyNumber = 6,
    kInvalidPositioning = 8,
    kEndOfFile = 9,
    kFileNotFound = 12,
    kServerUnreachable = 20,  // the server cannot be reached, or the connection to it was lost
    kDiskFull = 18,
    kKeyBufferTooShort = 21,
    kDataBufferTooShort = 22,
    kInvalidRecordLength = 24,  // create: record length 0 or keys beyond it
    kInvalidKeyPosition = 27,
    kInvalidKeyLength = 29,
    kNotATableFile = 30,
    kTransactionActive = 37,     // begin inside a transaction, or a table file created inside one
    kNoTransaction = 39,         // end or abort without begin
    kInvalidRecordAddress = 43,  // get direct on a position that holds no record
    kAccessDenied = 46,          // write on a file opened read-only
    kFileExists = 59,            // create without overwrite on an existing file
    kRecordLocked = 84,
    kPermissionError = 94,       // the server refused the login (user name or password)
    kFileLocked = 85,            // another process holds the file; the busy timeout ran out
    kFileTableFull = 86,         // too many files attached inside one transaction
    kRecordLengthMismatch = 130  // the file's record length is not what the caller's record needs
};

// Open modes (keyNum of kOpOpen).
constexpr int8_t kModeNormal = 0;
constexpr int8_t kModeReadOnly = -2;
constexpr int8_t kModeExclusive = -4;

// Stat modes (keyNum of kOpStat). Counting the records walks the whole file; a caller
// that only checks the layout (record length, keys) asks without the count and gets
// recordCount 0.
constexpr int8_t kStatWithCount = 0;
constexpr int8_t kStatLayoutOnly = -1;

// Create modes (keyNum of kOpCreate).
constexpr int8_t kCreateOverwrite = 0;
constexpr int8_t kCreateNoOverwrite = -1;

// Key flags.
constexpr uint16_t kKeyDuplicates = 0x0001;
constexpr uint16_t kKeyModifiable = 0x0002;
constexpr uint16_t kKeySegmented = 0x0010;  // the next key specification continues this key
constexpr uint16_t kKeyExtendedType = 0x0100;

// Segment types (KeySpec::extendedType).
constexpr uint8_t kTypeBytes = 0;    // compared as unsigned bytes over the whole width
constexpr uint8_t kTypeInteger = 1;  // little-endian signed, 1, 2, 4 or 8 bytes
constexpr uint8_t kTypeText = 11;    // zero-terminated; bytes after the terminator do not count

#pragma pack(push, 1)
// File specification of Create (data buffer) and Stat (returned), followed by one
// KeySpec per key segment.
//
// OFFSET SIZE FIELD         MEANING
//      0    2 recordLength  bytes per record
//      2    2 pageSize      ignored on create; the file's page size on stat
//      4    2 keyCount      number of keys (not segments)
//      6    4 recordCount   stat: records in the file; create: ignored
//     10    2 fileFlags     reserved, 0
//     12    2 reserved
//     14    2 allocation    ignored
struct FileSpec {
    uint16_t recordLength;
    uint16_t pageSize;
    uint16_t keyCount;
    uint32_t recordCount;
    uint16_t fileFlags;
    uint8_t reserved[2];
    uint16_t allocation;
};

// One key segment.
//
// OFFSET SIZE FIELD          MEANING
//      0    2 position       1-based offset of the segment in the record
//      2    2 length         bytes
//      4    2 flags          kKey* flags; kKeySegmented when another segment follows
//      6    4 keyCount       stat: distinct values are not counted; always 0
//     10    1 extendedType   kType*
//     11    1 nullValue      unused
//     12    2 reserved
//     14    1 keyNumber      unused; keys are numbered in order from 0
//     15    1 acsNumber      unused
struct KeySpec {
    uint16_t position;
    uint16_t length;
    uint16_t flags;
    uint32_t keyCount;
    uint8_t extendedType;
    uint8_t nullValue;
    uint8_t reserved[2];
    uint8_t keyNumber;
    uint8_t acsNumber;
};
#pragma pack(pop)
static_assert(sizeof(FileSpec) == 16);
static_assert(offsetof(FileSpec, recordCount) == 6);
static_assert(offsetof(FileSpec, allocation) == 14);
static_assert(sizeof(KeySpec) == 16);
static_assert(offsetof(KeySpec, keyCount) == 6);
static_assert(offsetof(KeySpec, extendedType) == 10);
static_assert(offsetof(KeySpec, acsNumber) == 15);

// Milliseconds a writer waits for a file that another process holds before it gets
// kFileLocked. The default is 5000.
void SetBusyTimeout(int milliseconds);

// Puts this process's private working file (and the super-journal of a commit across
// several files) in `folder`, made if missing, instead of beside the first table file the
// process opens: for a program that reads databases it must leave untouched. The folder
// should outlive a reboot, so that a commit cut short can still be recovered. Call before
// the first file is opened (kFileLocked after); kIoError when the folder cannot be made or
// written. An empty folder restores the default. Wherever the working file goes, the working
// files that killed processes left in that folder are removed when it is made, after what
// they left half committed has been rolled back.
int SetWorkingFolder(const std::string& folder);

// True while this process has a transaction open (between 19 and 20/21).
bool InTransaction();

// Tells the table open at `positionBlock` that the next positioning (other than a
// get-equal) starts a scan of about `rows` records, so that its first read takes them all
// rather than a few (on a server, one round trip instead of several).
int ExpectRows(void* positionBlock, uint32_t rows);

// Asks for the records of the table open at `positionBlock` whose unique key `keyNum` has
// one of the values `keys` (key buffers, as a get-equal takes them) to be at hand, so that
// the get-equals that follow (a patient for each bar of a day) cost no round trip to a
// server each: one statement reads them all. A hint: table files need none, and a record
// that is not at hand is read as always. Returns kOk, or the status of the failed read.
int PrefetchEqual(void* positionBlock, int8_t keyNum, const std::vector<std::string>& keys);

// Inside a transaction: asks for what the positioning `op` (a get-equal, -greater, -less,
// -first or -last) with this key buffer on key `keyNum` would read of the table open at
// `positionBlock`, about `rows` records, to be read together with the next statement that
// goes to a server. That positioning, made later in the transaction on any position block
// of the table, then costs no round trip; the transaction's writes to the table in between
// show in it as they would otherwise. A hint: table files need none, and a positioning
// that was not asked for, or cannot be answered from what was, reads as always.
int AskAhead(void* positionBlock, uint16_t op, int8_t keyNum, const void* keyBuf, uint8_t keyLen,
             uint32_t rows);

// For a transaction that ends at its first failed write, as a save does: until it ends, its
// writes to a server go out together with the next statement that must wait for the
// server's answer (a read, or the commit), so that a save costs no round trip per write. A
// write's failure (a key another record holds, a record gone, a lock not got) is then
// reported by that later call instead, and the transaction can only be aborted. Table files
// are written at once as before.
void BatchTransactionWrites();

// The connection file of a database folder whose tables live on a server: one line, a
// libpq connection string ("host=db1 port=5432 dbname=clinic user=velo"); empty lines and
// lines starting with '#' are comments.
constexpr char kServerConnInfoFile[] = "velodb.conninfo";

// Returns kOk and the connection string when `folder` holds a connection file,
// kFileNotFound when it holds none, and kIoError (with LastErrorText) when the file is there
// but cannot be read or names no server: never a silent fall-back to the folder's files.
int ServerConnInfo(const std::string& folder, std::string* conninfo);

// Writes the connection file of `folder` (replacing one that is there) so that a crash
// leaves the old file or the whole new one. kIoError when it cannot be written.
int WriteServerConnInfo(const std::string& folder, const std::string& conninfo);

// A readable account, in the system's words, of why the last BTRCALL (or ServerConnInfo or
// CheckFile) failed when the status alone does not say it: the server that cannot be
// reached or refused the login, a server database without the suite's tables, a
// connection file that cannot be read. Names the server and the database folder. Empty
// when the last call needed no such account.
std::string LastErrorText();

// How CopyTables writes: every table in one transaction, the tables made in it too (all or
// nothing; for a server, whose transactions may be as large as they need and may make
// tables), or each table in a transaction of its own, made before it (for table files, which
// one transaction can hold only a few of at once and cannot make).
enum class ECopyWrites { OneTransaction, TablePerTransaction };

// Copies the tables `names` (file names, "RESERVATION.BTR") of the database folder
// `fromFolder` into `toFolder`, each made there with its layout (replacing a table of that
// name only when `overwrite`), with its records in the order they were inserted, so that
// records with equal keys keep their order. A server's tables are read within one
// transaction, so they are copied as they stood at one moment while others go on writing;
// table files are read one after the other. Either folder may
// be a server's (a folder with the connection file) or hold table files. Not inside a
// transaction. On failure *failedTable (when given) names the table.
int CopyTables(const std::string& fromFolder, const std::string& toFolder,
               const std::vector<std::string>& names, ECopyWrites writes, bool overwrite,
               std::string* failedTable);

// Round trips to servers this process has made so far (statements and batches sent
// together count once), for benchmarks.
uint64_t RoundTrips();

// Checks one table file: it opens as a table file, SQLite finds it sound, and every
// stored key agrees with the record it belongs to. Returns kOk, or a status with a
// readable account of what is wrong in *report.
int CheckFile(const std::string& path, std::string* report);

// Closes every open file (position blocks still open give kFileNotOpen afterwards) and
// removes this process's private working file. Called at normal process exit; tests may
// call it to start afresh.
void Shutdown();

namespace testing {
// Events of the file layer under the table files, for tests that stop a process in
// the middle of a commit or make a write fail.
enum class FileEvent { kWrite, kSync, kDelete, kTruncate };
// The hook runs before each event; returning false makes that file operation fail with
// an I/O error. Must be installed before the first file is opened.
using FileEventHook = std::function<bool(FileEvent event, const char* path)>;
void SetFileEventHook(FileEventHook hook);
// How many times this process has attached a table file to its connection: a file kept
// attached since its last close is reused without one.
uint64_t AttachmentsMade();
// Tables of at most `rows` rows are kept whole by the server engine (0: none; negative:
// the default). Takes effect for tables opened afterwards.
void SetServerCacheRows(int rows);
// While set, the server engine reads no notification of other sessions' commits, as when
// one is still on its way: what it keeps must then be checked by the snapshot alone.
void SetServerNotificationsHeldBack(bool held);
}  // namespace testing

}  // namespace recman
