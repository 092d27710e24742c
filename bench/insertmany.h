// Filling a table quickly for a benchmark's generated data: many inserts, a few thousand
// to a transaction.
#pragma once

#include <algorithm>
#include <string>

#include "suite/dbcall/basedbcall.h"

constexpr int kInsertsPerTransaction = 5000;

// Inserts `count` records into Table in `folder`; fill(i, record) fills the i-th of them.
// Returns the first failing status, 0 when all were stored.
template <typename Table, typename Fill>
int InsertMany(const std::string& folder, int count, Fill fill) {
    Table table;
    int status = table.Open(folder);
    for (int i = 0; status == 0 && i < count; i += kInsertsPerTransaction) {
        if ((status = CBaseDBCall::BeginTran()) != 0) break;
        for (int j = i; status == 0 && j < std::min(count, i + kInsertsPerTransaction); ++j) {
            table.ClearData();
            fill(j, table.m_Data);
            status = table.Insert();
        }
        status = status == 0 ? CBaseDBCall::EndTran() : (CBaseDBCall::AbortTran(), status);
    }
    return status;
}
