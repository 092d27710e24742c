// The call sequences of CBtrTable over BTRCALL and its error report.
#include "merger/btrtable.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "merger/mergertext.h"

namespace unita {
namespace {

QPointer<QWidget>& ReportParent() {
    static QPointer<QWidget> parent;
    return parent;
}

// Room for the file specification of a table with every key segment the record manager
// allows, as the layout query returns it.
constexpr uint32_t kStatBufferSize =
    sizeof(recman::FileSpec) + recman::kMaxKeys * 8 * sizeof(recman::KeySpec);

}  // namespace

CBtrTable::CBtrTable(const char* folder, const char* fileName, const char* label)
    : m_label(label ? label : "") {
    if (folder && folder[0] != '\0') {
        m_filePath = folder;
        if (m_filePath.back() != '/') m_filePath += '/';
        m_filePath += fileName;
    }
}

CBtrTable::~CBtrTable() {
    if (m_open) Close();
    m_filePath.clear();
    m_label.clear();
}

void CBtrTable::SetReportParent(QWidget* parent) { ReportParent() = parent; }

int CBtrTable::Call(uint16_t operation) {
    // The record manager may rewrite the length; the buffer's own size goes in on every
    // call, so a file with longer records can never write past the buffer.
    uint32_t length = m_dataLength;
    m_lastStatus = BTRCALL(operation, m_positionBlock, m_data, &length, m_keyBuffer,
                           static_cast<uint8_t>(recman::kMaxKeyLength), m_keyNumber);
    m_atEnd = m_lastStatus == recman::kEndOfFile;
    return m_lastStatus;
}

int CBtrTable::FailOpen(int status) {
    m_lastStatus = status;
    m_atEnd = false;
    m_open = false;
    ReportError("BO_OPEN");
    return -1;
}

int CBtrTable::Open(int mode) {
    if (m_open) Close();
    if (m_filePath.empty()) return FailOpen(recman::kFileNotFound);
    // The path travels zero-terminated in the key buffer, whose length is passed as
    // recman::kMaxKeyLength: a longer path is refused rather than cut short.
    if (m_filePath.size() >= static_cast<size_t>(recman::kMaxKeyLength)) {
        return FailOpen(kStatusPathTooLong);
    }

    char savedKey[sizeof m_keyBuffer];
    std::memcpy(savedKey, m_keyBuffer, sizeof m_keyBuffer);
    const int8_t savedKeyNumber = m_keyNumber;
    m_openMode = mode;
    m_keyNumber = static_cast<int8_t>(mode);
    std::memset(m_keyBuffer, 0, sizeof m_keyBuffer);
    std::memcpy(m_keyBuffer, m_filePath.data(), m_filePath.size());
    std::memset(m_positionBlock, 0, sizeof m_positionBlock);
    int status = Call(recman::kOpOpen);

    if (status == recman::kOk) {
        // A file of another table (or a damaged one) would hand back records of the wrong
        // length: only the layout is asked for, which does not walk the file.
        std::vector<unsigned char> stat(kStatBufferSize);
        uint32_t statLength = kStatBufferSize;
        status = BTRCALL(recman::kOpStat, m_positionBlock, stat.data(), &statLength, m_keyBuffer,
                         static_cast<uint8_t>(recman::kMaxKeyLength), recman::kStatLayoutOnly);
        if (status == recman::kOk) {
            recman::FileSpec spec;
            std::memcpy(&spec, stat.data(), sizeof spec);
            if (spec.recordLength != m_dataLength) status = recman::kRecordLengthMismatch;
        }
        if (status != recman::kOk) {
            uint32_t closeLength = 0;
            BTRCALL(recman::kOpClose, m_positionBlock, nullptr, &closeLength, m_keyBuffer,
                    static_cast<uint8_t>(recman::kMaxKeyLength), 0);
        }
    }

    m_keyNumber = savedKeyNumber;
    std::memcpy(m_keyBuffer, savedKey, sizeof m_keyBuffer);
    if (status != recman::kOk) return FailOpen(status);
    m_lastStatus = recman::kOk;
    m_atEnd = false;
    m_open = true;
    return 0;
}

int CBtrTable::Close() {
    const int status = Call(recman::kOpClose);
    m_open = false;
    m_currentPosition = 0;
    return status;
}

int CBtrTable::Insert() {
    m_keyNumber = 0;
    const int status = Call(recman::kOpInsert);
    if (status != recman::kOk && status != recman::kDuplicateKey) ReportError("BO_INSERT");
    return status;
}

int CBtrTable::Update() {
    m_keyNumber = 0;
    BuildPrimaryKey();
    std::vector<char> record(m_data, m_data + m_dataLength);
    std::memset(m_keyBuffer, 0, sizeof m_keyBuffer);
    std::memcpy(m_keyBuffer, m_primaryKey,
                std::min<size_t>(m_primaryKeyLength, sizeof m_keyBuffer));
    int status = Call(recman::kOpGetEqual);
    // The buffer holds the caller's record again whatever the lookup found, so a caller
    // that inserts after a failed update inserts what it meant to.
    std::memcpy(m_data, record.data(), m_dataLength);
    if (status == recman::kOk) status = Call(recman::kOpUpdate);
    if (status != recman::kOk && status != recman::kKeyNotFound && status != recman::kEndOfFile) {
        ReportError("BO_UPDATE");
    }
    return status;
}

int CBtrTable::Delete() {
    const int status = Call(recman::kOpDelete);
    if (status != recman::kOk && status != recman::kEndOfFile) ReportError("BO_DELETE");
    return status;
}

int CBtrTable::Get(uint16_t operation, int tolerated, const char* name) {
    const int status = Call(operation);
    if (status == recman::kOk) {
        GetPosition();
    } else if (status != tolerated) {
        ReportError(name);
    }
    return status;
}

int CBtrTable::GetEqual() { return Get(recman::kOpGetEqual, recman::kKeyNotFound, "BO_GETEQ"); }
int CBtrTable::GetNext() { return Get(recman::kOpGetNext, recman::kEndOfFile, "BO_GETNEXT"); }
int CBtrTable::GetGreaterOrEqual() {
    return Get(recman::kOpGetGreaterOrEqual, recman::kEndOfFile, "BO_GETGREQ");
}
int CBtrTable::GetLessOrEqual() {
    return Get(recman::kOpGetLessOrEqual, recman::kEndOfFile, "BO_GETLESSEQ");
}

void CBtrTable::GetPosition() {
    uint32_t position = 0;
    uint32_t length = sizeof position;
    const int status =
        BTRCALL(recman::kOpGetPosition, m_positionBlock, &position, &length, m_keyBuffer,
                static_cast<uint8_t>(recman::kMaxKeyLength), m_keyNumber);
    m_currentPosition = status == recman::kOk ? position : 0;
}

int CBtrTable::FirstRecord() {
    SetKeyNumber(0);
    char zero[kMaxPrimaryKeyLength] = {};
    SetKey(zero, m_primaryKeyLength);
    return GetGreaterOrEqual();
}

int CBtrTable::FirstOfPatient(const char* patientId) {
    SetKeyNumber(0);
    char key[kMaxPrimaryKeyLength] = {};
    if (patientId) std::strncpy(key, patientId, 20);
    SetKey(key, m_primaryKeyLength);
    return GetGreaterOrEqual();
}

bool CBtrTable::IsOfPatient(const char* patientId) const {
    if (!m_data || m_dataLength < 21 || !patientId) return false;
    return std::strncmp(m_data, patientId, 21) == 0;
}

void CBtrTable::SetKey(const void* bytes, size_t length) {
    std::memset(m_keyBuffer, 0, sizeof m_keyBuffer);
    length = std::min(length, sizeof m_keyBuffer);
    if (bytes && length > 0) std::memcpy(m_keyBuffer, bytes, length);
    m_keyLength = length;
}

void CBtrTable::GetKey(void* destination, size_t length) const {
    std::memcpy(destination, m_keyBuffer, std::min(length, sizeof m_keyBuffer));
}

void CBtrTable::ClearData() {
    if (m_data) std::memset(m_data, 0, m_dataLength);
}

std::string CBtrTable::ErrorText(const std::string& label, const char* operation, int status) {
    char text[512];
    std::snprintf(text, sizeof text, "DERoduDEZ ERROR:\n\n%s %s Status = %d\n\n%s", label.c_str(),
                  operation, status, "");
    return text;
}

void CBtrTable::ReportError(const char* operation) {
    if (m_label.empty()) {
        const size_t slash = m_filePath.find_last_of('/');
        m_label = slash == std::string::npos ? m_filePath : m_filePath.substr(slash + 1);
    }
    m_lastReport = ErrorText(m_label, operation, m_lastStatus);
    if (m_showErrors) {
        ShowMergerMessage(ReportParent().data(), QString::fromStdString(m_lastReport),
                          EMergerIcon::Warning);
    }
}

}  // namespace unita
