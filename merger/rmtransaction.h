// A record-manager transaction for a step that writes many records: they are committed
// together (one write to disk instead of one per record) and, should the program stop
// in the middle, none of them is. Begun on construction; rolled back on destruction
// unless committed. A transaction already running elsewhere is not nested: the step then
// writes record by record as it would without one.
#pragma once

#include <QApplication>

#include "merger/btrtable.h"
#include "merger/mergertext.h"
#include "recman/recman.h"

namespace unita {

class CRecordTransaction {
public:
    CRecordTransaction() { m_active = Call(recman::kOpBeginTransaction) == recman::kOk; }
    ~CRecordTransaction() {
        if (m_active) Call(recman::kOpAbortTransaction);
    }
    CRecordTransaction(const CRecordTransaction&) = delete;
    CRecordTransaction& operator=(const CRecordTransaction&) = delete;

    // True when everything written since the start is stored (or there was no transaction).
    // A commit that fails stores none of it, and the transaction is ended all the same, so
    // that later writes are not caught in one that never ends.
    bool Commit() {
        if (!m_active) return true;
        m_active = false;
        m_status = Call(recman::kOpEndTransaction);
        if (m_status == recman::kOk) return true;
        Call(recman::kOpAbortTransaction);
        return false;
    }

    // Commit, and when it fails, the report the wrapper would give for a failed call of
    // `table` (its label and the status), so that lost records are never passed over.
    bool CommitOrReport(const CBtrTable& table) {
        if (Commit()) return true;
        if (table.ShowErrors())
            ShowMergerMessage(QApplication::activeWindow(),
                              QString::fromStdString(CBtrTable::ErrorText(
                                  table.Label(), "BO_END_TRANSACTION", m_status)),
                              EMergerIcon::Warning);
        return false;
    }

    // The record manager's status of the commit (0 before it and after a success).
    int Status() const { return m_status; }

private:
    static int Call(uint16_t operation) {
        unsigned char block[recman::kPositionBlockSize] = {};
        char data[1] = {};
        uint32_t length = 0;
        char key[1] = {};
        return BTRCALL(operation, block, data, &length, key, 0, 0);
    }

    bool m_active = false;
    int m_status = recman::kOk;
};

}  // namespace unita
