// Which engine holds the table a path names, the transactions that span every engine this
// process uses, and the account of the last failure that a status alone does not explain.
//
// A folder that holds the server connection file keeps its tables on that server;
// any other folder keeps them as table files of the embedded engine. A transaction
// begins on every engine at once, so it spans every table the process touches.
#pragma once

#include <string>

#include "recman/engine.h"

namespace recman {
class PgEngine;
}

namespace recman::engines {

// The engine of the table at `path`. Returns kOk, or the status of a connection file that
// is there but cannot be read (never the embedded engine in its place).
int ForPath(const std::string& path, Engine** engine);

// The server engine of `folder` when the folder holds a connection file (kOk); kFileNotFound
// when it holds none.
int ServerOf(const std::string& folder, PgEngine** engine);

// Operations 19, 20 and 21 over every engine.
int Begin();
int Commit();
int Abort();
bool InTransaction();
// Lets every engine in the open transaction defer its writes (Engine::DeferWrites).
void DeferWrites();

void SetBusyTimeout(int milliseconds);
void Shutdown();

// recman::LastErrorText: set by the engines, cleared when BTRCALL starts.
void SetLastErrorText(std::string text);
void ClearLastErrorText();

}  // namespace recman::engines
