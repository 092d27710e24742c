// The base of every table class: one open table file, its record buffer, the current key
// number and a 255-byte key buffer, with the record manager's operations under the names the
// modules use. Every operation returns the record manager's status (0 = success); nothing
// throws. A table object lives on the stack of the operation that uses it and closes in its
// destructor.
#pragma once

#include <functional>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "recman/recman.h"

class CVeloDBSys;

class CBaseDBCall {
public:
    // fileName is the table file's name inside the database folder ("RESERVATION.BTR");
    // record/recordLength the derived class's record buffer, which must outlive the object.
    CBaseDBCall(const char* fileName, void* record, uint32_t recordLength);
    virtual ~CBaseDBCall();

    CBaseDBCall(const CBaseDBCall&) = delete;
    CBaseDBCall& operator=(const CBaseDBCall&) = delete;

    // Opens the table in the current database folder (CGlobalSettings::DatabaseFolder()).
    int Open();
    // Opens the table in the handle's database folder.
    int SetAssociatedDB(CVeloDBSys* db);
    // Opens the table in folder (a trailing "/" is added when missing). An open table is
    // closed first. A file whose record length differs from this class's record is refused
    // with recman::kRecordLengthMismatch and left closed.
    virtual int Open(const std::string& folder);
    virtual int Close();
    bool IsOpen() const { return m_open; }

    // Chooses the index for the Get operations.
    void SetKey(int keyNumber) { m_keyNumber = static_cast<int8_t>(keyNumber); }
    int GetKey() const { return m_keyNumber; }
    // Zero-fills the key buffer and copies length bytes of key into it (at most 255).
    void SetKeyBuffer(const void* key, int length);
    // The key buffer: after a successful Get it holds the found record's key.
    const char* GetKeyBuffer() const { return m_keyBuffer; }

    // Each fills the record buffer on success; afterwards the key buffer holds the found
    // record's key and the record is the current (positioned) one. Status 9 sets IsEOF.
    int GetFIRST();
    int GetLAST();
    int GetEQUAL();
    int GetGREQ();
    int GetGREATER();
    int GetLEEQ();
    int GetLESS();
    // REQUIRES: positioned by an earlier Get.
    int GetNEXT();
    int GetPREV();
    // Non-zero when the last operation ran off either end of the index (status 9).
    int IsEOF() const { return m_eof ? 1 : 0; }

    // Inserts the record buffer.
    virtual int Insert();
    // Replaces the positioned record with the record buffer. REQUIRES: positioned.
    virtual int Update();
    // Deletes the positioned record. REQUIRES: positioned.
    virtual int Delete();

    // The physical position of the current record, and a read by such a position (the
    // index chosen by SetKey then continues from that record).
    int GetPosition(uint32_t* position);
    int GetDirect(uint32_t position);

    // Modification time of the table file in nanoseconds since the epoch. Works whether the
    // table is open or not (closed: in the current database folder); 12 when the file is
    // missing, and when the folder's tables live on a database server, where no file stands
    // for the table.
    int GetFileTime(int64_t* nsSinceEpoch);

    int GetLastStatus() const { return m_lastStatus; }
    const std::string& GetFileName() const { return m_fileName; }
    // Folder of the open file, with a trailing "/"; "" while closed.
    const std::string& GetFolder() const { return m_folder; }

    // A transaction spans every table file of the process. A failed write inside one is
    // followed by AbortTran.
    static int BeginTran();
    static int EndTran();
    static int AbortTran();
    static bool InTransaction();
    // Runs `work` (which returns a record status) inside the caller's transaction when one
    // is open, else inside one of its own that commits when `work` returns 0 and is rolled
    // back otherwise (also when the commit fails). Returns work's status, or the failing
    // begin or commit status.
    static int RunInTransaction(const std::function<int()>& work);
    // As RunInTransaction, for a write that another workstation may hold off. When the
    // transaction is its own and `work` or the commit meets a file or record another program
    // holds (IsLockStatus), everything is rolled back and `work` runs again after a growing
    // pause, for a few seconds in all, before the lock status is returned. `work` must
    // therefore start from scratch each time it runs. Inside the caller's transaction a lock
    // status goes back to the caller, whose whole transaction has to be run again.
    static int RunInTransactionRetried(const std::function<int()>& work);
    // True for the statuses of a file or record that another program holds (84, 85).
    static bool IsLockStatus(int status);
    // Runs `read` (which returns a record status) inside one read transaction when none is
    // open: every file it reads is locked once for the whole read instead of once per
    // record call, and it sees one state of the files (another workstation's commit lands
    // wholly before or after it). Inside the caller's transaction it just runs. A read that
    // needs more files than one transaction may hold runs again without one.
    static int ReadConsistently(const std::function<int()>& read);

    // Has the records whose one-field key `keyNumber` (of `width` bytes) holds each of the
    // texts at hand for the GetEqualByParts calls that follow: on a server one statement
    // reads them all instead of one each. Texts that do not fit are left out.
    int PrefetchEqual(int keyNumber, size_t width, const std::vector<std::string>& texts);
    // The next GetGREQ (or other positioning but GetEQUAL) starts a scan of about `rows`
    // records: its first read takes them together.
    void ExpectRows(uint32_t rows);
    // Inside a transaction: the positioning `op` with the key number and key buffer as they
    // are set now, reading about `rows` records, is read together with the next statement
    // that goes to a server, so that making it later in the transaction (on any object of
    // this table) costs no round trip. A hint; leaves this object's position and status alone.
    int AskAhead(uint16_t op, uint32_t rows);

protected:
    // Runs after every successful Get; derived classes complete the record here (the
    // patient table reads its second file). Its status becomes the Get's status.
    virtual int AfterRead() { return recman::kOk; }

    // One text part of a key: at most width - 1 bytes of text, zero-padded to width.
    struct KeyPart {
        const char* text;
        size_t width;
    };
    // Chooses keyNumber, builds the key from parts laid end to end and reads with GetEQUAL.
    // A part whose text does not fit its width is not looked up: the result is 4 (key not
    // found) and the record buffer is left unchanged.
    int GetEqualByParts(int keyNumber, std::initializer_list<KeyPart> parts);

    // One record-manager call on this table with the record buffer and key buffer.
    int Call(uint16_t op);
    int Finish(int status);

private:
    int GetOperation(uint16_t op);

    std::string m_fileName;
    std::string m_folder;
    void* m_record;
    uint32_t m_recordLength;
    alignas(8) unsigned char m_positionBlock[recman::kPositionBlockSize] = {};
    char m_keyBuffer[recman::kMaxKeyLength] = {};
    int8_t m_keyNumber = 0;
    int m_lastStatus = recman::kOk;
    bool m_eof = false;
    bool m_open = false;
};
