// CBtrTable: the merger's own thin wrapper over the record manager's entry point BTRCALL.
// A table object owns one open table file: its position block, its record buffer (in the
// derived class), its key buffer and its path. Every operation returns the record manager's
// status (0 = success); statuses that are ordinary results (key not found, end of file,
// duplicate key on insert, missing record on update) pass silently, every other failure is
// reported once in the merger's error box (when show-errors is set) and returned.
//
// Scanning convention: SetKeyNumber(0), SetKey(start), GetGreaterOrEqual(), then while the
// status is 0 and !IsEOF(): use the record, GetNext(). FirstRecord() and FirstOfPatient()
// do the first three steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "recman/recman.h"

class QWidget;

namespace unita {

// Status of an Open whose path does not fit the key buffer (the classic "invalid file
// name"): the path is refused instead of being cut short and opening another file.
constexpr int kStatusPathTooLong = 11;

// Longest primary key of any table in the catalogue (SURGERYTREATMENT.BTR).
constexpr uint32_t kMaxPrimaryKeyLength = 48;

class CBtrTable {
public:
    virtual ~CBtrTable();
    CBtrTable(const CBtrTable&) = delete;
    CBtrTable& operator=(const CBtrTable&) = delete;

    // Opens the file (all callers use mode 0). The key buffer and key number are kept
    // across the call. Returns 0, or -1 after reporting "BO_OPEN" with the status (see
    // LastStatus()): a missing, unreadable or corrupt file, a file whose record length is
    // not this table's, a path longer than the key buffer, or no folder at all.
    int Open(int mode = recman::kModeNormal);
    // Closes the file; statuses are never reported. Harmless when not open.
    int Close();

    // Inserts the record in the buffer (key number becomes 0). 5 (duplicate) is silent
    // and leaves the stored record unchanged.
    int Insert();
    // Replaces the stored record that has the buffer's primary key (key number becomes 0):
    // get-equal on the primary key, then update. 4 when no such record exists (nothing is
    // inserted); 4 and 9 are silent.
    int Update();
    // Deletes the current record (REQUIRES: positioned by the last Get). 9 is silent.
    int Delete();

    // Get operations on the current key number with the key buffer. On success the record
    // is in the buffer and the key buffer holds its key. Silent: 4 for GetEqual, 9 for the
    // others.
    int GetEqual();
    int GetNext();
    int GetGreaterOrEqual();
    int GetLessOrEqual();

    // Scan starts: key number 0 and a zeroed primary key (every record), or the patient
    // identifier as text in a zeroed primary key (the records of one patient, for tables
    // whose key begins with it); then GetGreaterOrEqual.
    int FirstRecord();
    int FirstOfPatient(const char* patientId);
    // True when the record in the buffer belongs to that patient (identifier at offset 0,
    // compared as text up to its 21 bytes).
    bool IsOfPatient(const char* patientId) const;

    void SetKeyNumber(int keyNumber) { m_keyNumber = static_cast<int8_t>(keyNumber); }
    int KeyNumber() const { return m_keyNumber; }
    // Clears the whole key buffer, then copies length bytes (at most the buffer) and
    // records the length.
    void SetKey(const void* bytes, size_t length);
    // Copies the first length bytes of the key buffer (at most the buffer).
    void GetKey(void* destination, size_t length) const;
    size_t KeyLength() const { return m_keyLength; }

    bool IsOpen() const { return m_open; }
    bool IsEOF() const { return m_atEnd; }
    int LastStatus() const { return m_lastStatus; }
    // Physical position of the current record, 0 when unknown.
    uint32_t CurrentPosition() const { return m_currentPosition; }

    // When false, failed calls are not shown (the status is still returned).
    void SetShowErrors(bool show) { m_showErrors = show; }
    bool ShowErrors() const { return m_showErrors; }

    char* Data() { return m_data; }
    const char* Data() const { return m_data; }
    uint32_t DataLength() const { return m_dataLength; }
    // Zeroes the record buffer.
    void ClearData();
    // The primary key of the record in the buffer, built by BuildPrimaryKey.
    const char* PrimaryKeyArea() const { return m_primaryKey; }
    uint32_t PrimaryKeyLength() const { return m_primaryKeyLength; }

    const std::string& FilePath() const { return m_filePath; }
    const std::string& Label() const { return m_label; }
    // The text of the last error report of this object (empty when none), shown or not.
    const std::string& LastReport() const { return m_lastReport; }

    // The window that owns error boxes (none by default); the main window sets itself.
    static void SetReportParent(QWidget* parent);
    // The report text for a label, operation name and status.
    static std::string ErrorText(const std::string& label, const char* operation, int status);

protected:
    // folder: the database folder ("/" appended when missing); a null folder reads the
    // program profile's [GLOBAL] DATABASE; an empty folder names no file (Open fails).
    CBtrTable(const char* folder, const char* fileName, const char* label);

    // Copies the key fields of the record in the buffer into the primary-key area after
    // clearing it.
    virtual void BuildPrimaryKey() = 0;

    void SetDataBuffer(char* data) { m_data = data; }
    void SetDataLength(uint32_t length) { m_dataLength = length; }
    void SetPrimaryKeyArea(char* area, uint32_t length) {
        m_primaryKey = area;
        m_primaryKeyLength = length;
    }

    // Shows "BO_..." for the last status (when show-errors is set) and keeps the text.
    void ReportError(const char* operation);

private:
    int Call(uint16_t operation);
    int Get(uint16_t operation, int tolerated, const char* name);
    void GetPosition();
    int FailOpen(int status);

    bool m_showErrors = true;
    unsigned char m_positionBlock[recman::kPositionBlockSize] = {};
    uint32_t m_currentPosition = 0;
    bool m_atEnd = false;
    int m_lastStatus = 0;
    int m_openMode = 0;
    char* m_data = nullptr;
    uint32_t m_dataLength = 0;
    int8_t m_keyNumber = 0;
    // Passed with length recman::kMaxKeyLength on every call; one more byte keeps a path
    // of that length terminated.
    char m_keyBuffer[recman::kMaxKeyLength + 1] = {};
    size_t m_keyLength = 0;
    char* m_primaryKey = nullptr;
    uint32_t m_primaryKeyLength = 0;
    bool m_open = false;
    std::string m_filePath;
    std::string m_label;
    std::string m_lastReport;
};

}  // namespace unita
