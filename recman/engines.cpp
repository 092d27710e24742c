// The engines of this process and the transactions across them.
#include "recman/engines.h"

#include <vector>

#include "recman/recman.h"
#include "recman/sqliteengine.h"

namespace recman::engines {
namespace {

std::vector<Engine*> All() { return {&SqliteEngine::Get()}; }

}  // namespace

int ForPath(const std::string& path, Engine** engine) {
    (void)path;
    *engine = &SqliteEngine::Get();
    return kOk;
}

int Begin() {
    if (InTransaction()) return kTransactionActive;
    const std::vector<Engine*> all = All();
    for (size_t i = 0; i < all.size(); ++i) {
        if (const int st = all[i]->Begin(); st != kOk) {
            for (size_t j = 0; j < i; ++j) all[j]->Abort();
            return st;
        }
    }
    return kOk;
}

// The embedded engine commits first: when its commit fails it may stay open (another
// process holds a file), and the servers' transactions then wait for the caller's abort too.
int Commit() {
    int status = kNoTransaction;
    for (Engine* engine : All()) {
        const int st = engine->Commit();
        if (st == kNoTransaction) continue;
        if (st != kOk) return st;
        status = kOk;
    }
    return status;
}

int Abort() {
    int status = kNoTransaction;
    for (Engine* engine : All()) {
        const int st = engine->Abort();
        if (st != kNoTransaction && (status == kNoTransaction || status == kOk)) status = st;
    }
    return status;
}

bool InTransaction() {
    for (Engine* engine : All())
        if (engine->InTransaction()) return true;
    return false;
}

void SetBusyTimeout(int milliseconds) {
    for (Engine* engine : All()) engine->SetBusyTimeout(milliseconds);
}

void Shutdown() {
    for (Engine* engine : All()) engine->Shutdown();
}

}  // namespace recman::engines
