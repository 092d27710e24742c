// The record manager's operations for one table file, with the record-length check on open.
#include "suite/dbcall/basedbcall.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "suite/dbcall/tablestamp.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/globalsettings.h"

namespace {

// A write that another workstation holds off is tried again after a growing pause, for a
// few seconds in all.
constexpr int kWriteAttempts = 10;
constexpr int kFirstRetryPauseMs = 20;
constexpr int kLongestRetryPauseMs = 500;

// Room for the file specification and every key segment that stat can return.
constexpr uint32_t kStatBufferSize = sizeof(recman::FileSpec) + 128 * sizeof(recman::KeySpec);

std::string WithSlash(const std::string& folder) {
    if (!folder.empty() && folder.back() != '/') {
        return folder + '/';
    }
    return folder;
}

int TransactionCall(uint16_t op) {
    unsigned char positionBlock[recman::kPositionBlockSize] = {};
    char keyBuffer[recman::kMaxKeyLength] = {};
    uint32_t dataLength = 0;
    return BTRCALL(op, positionBlock, nullptr, &dataLength, keyBuffer, recman::kMaxKeyLength, 0);
}

}  // namespace

CBaseDBCall::CBaseDBCall(const char* fileName, void* record, uint32_t recordLength)
    : m_fileName(fileName), m_record(record), m_recordLength(recordLength) {}

CBaseDBCall::~CBaseDBCall() {
    if (m_open) {
        CBaseDBCall::Close();
    }
}

int CBaseDBCall::Open() { return Open(CGlobalSettings::DatabaseFolder()); }

int CBaseDBCall::SetAssociatedDB(CVeloDBSys* db) {
    if (db == nullptr) {
        return Finish(recman::kFileNotFound);
    }
    return Open(db->GetDatabaseFolder());
}

int CBaseDBCall::Open(const std::string& folder) {
    if (m_open) {
        Close();
    }
    if (folder.empty()) {
        return Finish(recman::kFileNotFound);
    }
    const std::string dir = WithSlash(folder);
    const std::string path = dir + m_fileName;
    // The path travels in the key buffer, zero-terminated, and must fit in it.
    if (path.size() + 1 > static_cast<size_t>(recman::kMaxKeyLength)) {
        return Finish(recman::kFileNotFound);
    }
    std::memset(m_positionBlock, 0, sizeof m_positionBlock);
    char pathBuffer[recman::kMaxKeyLength] = {};
    std::memcpy(pathBuffer, path.c_str(), path.size());
    uint32_t length = 0;
    int status = BTRCALL(recman::kOpOpen, m_positionBlock, nullptr, &length, pathBuffer,
                         recman::kMaxKeyLength, recman::kModeNormal);
    if (status != recman::kOk) {
        return Finish(status);
    }

    std::vector<unsigned char> stat(kStatBufferSize);
    uint32_t statLength = kStatBufferSize;
    char statKey[recman::kMaxKeyLength] = {};
    // Only the record length is checked: the layout without counting the records, which
    // would walk the whole file on every open.
    status = BTRCALL(recman::kOpStat, m_positionBlock, stat.data(), &statLength, statKey,
                     recman::kMaxKeyLength, recman::kStatLayoutOnly);
    if (status == recman::kOk) {
        recman::FileSpec spec;
        std::memcpy(&spec, stat.data(), sizeof spec);
        if (spec.recordLength != m_recordLength) {
            status = recman::kRecordLengthMismatch;
        }
    }
    if (status != recman::kOk) {
        uint32_t closeLength = 0;
        BTRCALL(recman::kOpClose, m_positionBlock, nullptr, &closeLength, statKey,
                recman::kMaxKeyLength, 0);
        return Finish(status);
    }
    m_open = true;
    m_folder = dir;
    return Finish(recman::kOk);
}

int CBaseDBCall::Close() {
    if (!m_open) {
        return Finish(recman::kFileNotOpen);
    }
    uint32_t length = 0;
    char keyBuffer[recman::kMaxKeyLength] = {};
    const int status = BTRCALL(recman::kOpClose, m_positionBlock, nullptr, &length, keyBuffer,
                               recman::kMaxKeyLength, 0);
    m_open = false;
    m_folder.clear();
    return Finish(status);
}

void CBaseDBCall::SetKeyBuffer(const void* key, int length) {
    std::memset(m_keyBuffer, 0, sizeof m_keyBuffer);
    const int n = std::clamp(length, 0, static_cast<int>(sizeof m_keyBuffer));
    if (key != nullptr && n > 0) {
        std::memcpy(m_keyBuffer, key, static_cast<size_t>(n));
    }
}

int CBaseDBCall::GetEqualByParts(int keyNumber, std::initializer_list<KeyPart> parts) {
    char key[recman::kMaxKeyLength] = {};
    size_t offset = 0;
    for (const KeyPart& part : parts) {
        if (offset + part.width > sizeof key) {
            return Finish(recman::kKeyBufferTooShort);
        }
        if (part.text != nullptr && part.width > 0) {
            const size_t length = ::strnlen(part.text, part.width);
            // Cut to its field, a longer key would name another record ("012" would find
            // doctor "01"); no stored record can have it.
            if (length > part.width - 1) {
                return Finish(recman::kKeyNotFound);
            }
            std::memcpy(key + offset, part.text, length);
        }
        offset += part.width;
    }
    SetKey(keyNumber);
    SetKeyBuffer(key, static_cast<int>(offset));
    return GetEQUAL();
}

int CBaseDBCall::PrefetchEqual(int keyNumber, size_t width, const std::vector<std::string>& texts) {
    if (!m_open) return Finish(recman::kFileNotOpen);
    std::vector<std::string> keys;
    keys.reserve(texts.size());
    for (const std::string& text : texts) {
        const size_t length = ::strnlen(text.c_str(), width);
        if (length == 0 || length > width - 1) continue;
        std::string key(width, '\0');
        std::memcpy(key.data(), text.data(), length);
        keys.push_back(std::move(key));
    }
    if (keys.empty()) return recman::kOk;
    return Finish(recman::PrefetchEqual(m_positionBlock, static_cast<int8_t>(keyNumber), keys));
}

void CBaseDBCall::ExpectRows(uint32_t rows) {
    if (m_open) recman::ExpectRows(m_positionBlock, rows);
}

int CBaseDBCall::AskAhead(uint16_t op, uint32_t rows) {
    if (!m_open) return recman::kFileNotOpen;
    return recman::AskAhead(m_positionBlock, op, m_keyNumber, m_keyBuffer, recman::kMaxKeyLength,
                            rows);
}

int CBaseDBCall::Call(uint16_t op) {
    if (!m_open) {
        return Finish(recman::kFileNotOpen);
    }
    uint32_t length = m_recordLength;
    return Finish(BTRCALL(op, m_positionBlock, m_record, &length, m_keyBuffer,
                          recman::kMaxKeyLength, m_keyNumber));
}

int CBaseDBCall::Finish(int status) {
    m_lastStatus = status;
    m_eof = status == recman::kEndOfFile;
    return status;
}

int CBaseDBCall::GetOperation(uint16_t op) {
    int status = Call(op);
    if (status == recman::kOk) {
        status = Finish(AfterRead());
    }
    return status;
}

int CBaseDBCall::GetFIRST() { return GetOperation(recman::kOpGetFirst); }
int CBaseDBCall::GetLAST() { return GetOperation(recman::kOpGetLast); }
int CBaseDBCall::GetEQUAL() { return GetOperation(recman::kOpGetEqual); }
int CBaseDBCall::GetGREQ() { return GetOperation(recman::kOpGetGreaterOrEqual); }
int CBaseDBCall::GetGREATER() { return GetOperation(recman::kOpGetGreater); }
int CBaseDBCall::GetLEEQ() { return GetOperation(recman::kOpGetLessOrEqual); }
int CBaseDBCall::GetLESS() { return GetOperation(recman::kOpGetLess); }
int CBaseDBCall::GetNEXT() { return GetOperation(recman::kOpGetNext); }
int CBaseDBCall::GetPREV() { return GetOperation(recman::kOpGetPrevious); }

int CBaseDBCall::Insert() { return Call(recman::kOpInsert); }
int CBaseDBCall::Update() { return Call(recman::kOpUpdate); }
int CBaseDBCall::Delete() { return Call(recman::kOpDelete); }

int CBaseDBCall::GetPosition(uint32_t* position) {
    if (!m_open) {
        return Finish(recman::kFileNotOpen);
    }
    uint32_t value = 0;
    uint32_t length = sizeof value;
    const int status = BTRCALL(recman::kOpGetPosition, m_positionBlock, &value, &length,
                               m_keyBuffer, recman::kMaxKeyLength, m_keyNumber);
    if (status == recman::kOk && position != nullptr) {
        *position = value;
    }
    return Finish(status);
}

int CBaseDBCall::GetDirect(uint32_t position) {
    if (!m_open) {
        return Finish(recman::kFileNotOpen);
    }
    // The position goes in at the front of the data buffer; a scratch copy keeps the
    // record buffer unchanged when the read fails.
    std::vector<unsigned char> buffer(std::max<uint32_t>(m_recordLength, sizeof position));
    std::memcpy(buffer.data(), &position, sizeof position);
    uint32_t length = static_cast<uint32_t>(buffer.size());
    int status = BTRCALL(recman::kOpGetDirect, m_positionBlock, buffer.data(), &length, m_keyBuffer,
                         recman::kMaxKeyLength, m_keyNumber);
    if (status == recman::kOk) {
        std::memcpy(m_record, buffer.data(), m_recordLength);
        status = AfterRead();
    }
    return Finish(status);
}

int CBaseDBCall::GetFileTime(int64_t* nsSinceEpoch) {
    const std::string folder = m_open ? m_folder : WithSlash(CGlobalSettings::DatabaseFolder());
    struct stat info {};
    if (folder.empty() || TablesLiveOnServer(folder) ||
        ::stat((folder + m_fileName).c_str(), &info) != 0) {
        return Finish(recman::kFileNotFound);
    }
    if (nsSinceEpoch != nullptr) {
        *nsSinceEpoch = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000LL +
                        static_cast<int64_t>(info.st_mtim.tv_nsec);
    }
    return Finish(recman::kOk);
}

int CBaseDBCall::BeginTran() { return TransactionCall(recman::kOpBeginTransaction); }
int CBaseDBCall::EndTran() { return TransactionCall(recman::kOpEndTransaction); }
int CBaseDBCall::AbortTran() { return TransactionCall(recman::kOpAbortTransaction); }
bool CBaseDBCall::InTransaction() { return recman::InTransaction(); }

int CBaseDBCall::RunInTransaction(const std::function<int()>& work) {
    const bool own = !InTransaction();
    if (own) {
        const int status = BeginTran();
        if (status != 0) return status;
    }
    int status = work();
    if (own) {
        if (status == 0) {
            status = EndTran();
            if (status != 0) AbortTran();
        } else {
            AbortTran();
        }
    }
    return status;
}

int CBaseDBCall::RunInTransactionRetried(const std::function<int()>& work) {
    if (InTransaction()) return work();
    int status = recman::kOk;
    int pauseMs = kFirstRetryPauseMs;
    for (int attempt = 1; attempt <= kWriteAttempts; ++attempt) {
        status = RunInTransaction(work);
        if (!IsLockStatus(status) || attempt == kWriteAttempts) break;
        ::usleep(static_cast<useconds_t>(pauseMs) * 1000);
        pauseMs = std::min(pauseMs * 2, kLongestRetryPauseMs);
    }
    return status;
}

bool CBaseDBCall::IsLockStatus(int status) {
    return status == recman::kRecordLocked || status == recman::kFileLocked;
}

int CBaseDBCall::ReadConsistently(const std::function<int()>& read) {
    if (InTransaction() || BeginTran() != recman::kOk) return read();
    const int status = read();
    EndTran();
    if (status == recman::kFileTableFull) return read();
    return status;
}
