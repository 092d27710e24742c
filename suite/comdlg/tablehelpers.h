// Small helpers the common dialogs share for reaching the table files: opening a table in
// the host's database folder, and reading a fixed-width text field as bytes.
#pragma once

#include <cstring>
#include <string>

#include "suite/dbcall/basedbcall.h"
#include "suite/dbcall/tabledb.h"
#include "suite/dbcall/velodbsys.h"

namespace comdlg {

// Opens `table` in the database folder of `db`, or in the default folder when there is no
// handle or it names no folder. Returns the record status.
inline int OpenIn(CBaseDBCall& table, CVeloDBSys* db) {
    if (db != nullptr && !db->GetDatabaseFolder().empty()) {
        return table.Open(db->GetDatabaseFolder());
    }
    return table.Open();
}

// The bytes of a zero-terminated (or full-width) record field.
using ::FieldText;

}  // namespace comdlg
