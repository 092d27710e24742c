// Puts records into a test's database: the record starts zero-filled and the test's `fill`
// sets only the fields that matter to it, so fixtures read as the data they set up.
//
//   InsertTestRecord<CReservationDB>(m_db, [](tagRESERVATIONDB& r) {
//       SetField(r.ReservationNo, "0000000001");
//       SetField(r.ResDate, "20240510");
//   });
#pragma once

#include <gtest/gtest.h>

#include "recman/recman.h"
#include "suite/dbcall/velodbsys.h"

// Inserts the record into the table of db's folder; a failure fails the test.
template <typename Table, typename Fill>
void InsertTestRecord(CVeloDBSys& db, Fill fill) {
    Table table;
    ASSERT_EQ(table.SetAssociatedDB(&db), recman::kOk);
    table.ClearData();
    fill(table.m_Data);
    ASSERT_EQ(table.Insert(), recman::kOk);
}
