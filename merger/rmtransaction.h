// A record-manager transaction for a step that writes many records: they are committed
// together (one write to disk instead of one per record) and, should the program stop
// in the middle, none of them is. Begun on construction; rolled back on destruction
// unless committed. A transaction already running elsewhere is not nested: the step then
// writes record by record as it would without one.
#pragma once

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
    bool Commit() {
        if (!m_active) return true;
        m_active = false;
        return Call(recman::kOpEndTransaction) == recman::kOk;
    }

private:
    static int Call(uint16_t operation) {
        unsigned char block[recman::kPositionBlockSize] = {};
        char data[1] = {};
        uint32_t length = 0;
        char key[1] = {};
        return BTRCALL(operation, block, data, &length, key, 0, 0);
    }

    bool m_active = false;
};

}  // namespace unita
