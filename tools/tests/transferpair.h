// Two records in two tables whose sum never changes: the price of one credit item
// (CREDITITEM.BTR) and the amount of one register line (REGI.BTR). A move takes an amount
// from one and adds it to the other in one transaction, so every committed state of the
// folder keeps the sum, and a copy of the two tables taken at two moments shows a different
// sum. Shared by the backup tests and their peer program.
#pragma once

#include <cstdint>
#include <string>

#include "suite/dbcall/masterdb.h"

namespace velodb_test {

constexpr int32_t kTransferTotal = 1000000;

inline void PositionPair(CCreditItemDB* item, CRegiDB* regi) {
    static const char itemKey[8] = {'0', '0', '1', 0, '0', '0', '1', 0};
    item->SetKey(CCreditItemDB::kKeyCategoryItem);
    item->SetKeyBuffer(itemKey, sizeof itemKey);
    regi->SetKey(CRegiDB::kKeyRegiNo);
    regi->SetKeyBuffer("0000000000001", 14);
}

// Inserts the two records, the whole total on the credit item. Returns a status.
inline int SeedTransferPair(const std::string& folder) {
    CCreditItemDB item;
    CRegiDB regi;
    if (int st = item.Open(folder); st != 0) return st;
    if (int st = regi.Open(folder); st != 0) return st;
    return CBaseDBCall::RunInTransaction([&] {
        item.ClearData();
        SetField(item.m_Data.CategoryCode, "001");
        SetField(item.m_Data.ItemCode, "001");
        SetField(item.m_Data.ItemName, "transfer");
        item.m_Data.Price = kTransferTotal;
        regi.ClearData();
        SetField(regi.m_Data.RegiNo, "0000000000001");
        regi.m_Data.Amount = 0;
        if (int st = item.Insert(); st != 0) return st;
        return regi.Insert();
    });
}

// Moves `amount` from the credit item to the register line in one transaction.
inline int MoveWithinPair(CCreditItemDB* item, CRegiDB* regi, int32_t amount) {
    return CBaseDBCall::RunInTransactionRetried([&] {
        PositionPair(item, regi);
        if (int st = item->GetEQUAL(); st != 0) return st;
        if (int st = regi->GetEQUAL(); st != 0) return st;
        item->m_Data.Price -= amount;
        regi->m_Data.Amount += amount;
        if (int st = item->Update(); st != 0) return st;
        return regi->Update();
    });
}

// Reads the two values as the folder holds them. Returns a status.
inline int ReadTransferPair(const std::string& folder, int32_t* price, int32_t* amount) {
    CCreditItemDB item;
    CRegiDB regi;
    if (int st = item.Open(folder); st != 0) return st;
    if (int st = regi.Open(folder); st != 0) return st;
    PositionPair(&item, &regi);
    if (int st = item.GetEQUAL(); st != 0) return st;
    if (int st = regi.GetEQUAL(); st != 0) return st;
    *price = item.m_Data.Price;
    *amount = regi.m_Data.Amount;
    return 0;
}

}  // namespace velodb_test
