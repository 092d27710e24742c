// A pass-through SQLite file layer that reports writes, syncs, truncations and deletions
// to a test hook before they happen. Tests use it to kill a process at an exact point of
// a commit, or to make a write fail as a full disk would.
#include <sqlite3.h>

#include <cstring>
#include <string>

#include "recman/sqliteengine.h"
#include "recman/recman.h"

namespace recman {
namespace {

testing::FileEventHook& Hook() {
    static testing::FileEventHook* hook = new testing::FileEventHook;
    return *hook;
}

struct HookFile {
    sqlite3_file base;  // must be first
    sqlite3_file* real;
    std::string* path;
};

sqlite3_vfs* RealVfs() {
    static sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
    return real;
}

bool Allow(testing::FileEvent event, const char* path) {
    const auto& hook = Hook();
    return !hook || hook(event, path ? path : "");
}

HookFile* H(sqlite3_file* f) { return reinterpret_cast<HookFile*>(f); }

int xClose(sqlite3_file* f) {
    const int rc = H(f)->real->pMethods ? H(f)->real->pMethods->xClose(H(f)->real) : SQLITE_OK;
    sqlite3_free(H(f)->real);
    delete H(f)->path;
    return rc;
}
int xRead(sqlite3_file* f, void* p, int n, sqlite3_int64 off) { return H(f)->real->pMethods->xRead(H(f)->real, p, n, off); }
int xWrite(sqlite3_file* f, const void* p, int n, sqlite3_int64 off) {
    if (!Allow(testing::FileEvent::kWrite, H(f)->path->c_str())) return SQLITE_IOERR_WRITE;
    return H(f)->real->pMethods->xWrite(H(f)->real, p, n, off);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
    if (!Allow(testing::FileEvent::kTruncate, H(f)->path->c_str())) return SQLITE_IOERR_TRUNCATE;
    return H(f)->real->pMethods->xTruncate(H(f)->real, size);
}
int xSync(sqlite3_file* f, int flags) {
    if (!Allow(testing::FileEvent::kSync, H(f)->path->c_str())) return SQLITE_IOERR_FSYNC;
    return H(f)->real->pMethods->xSync(H(f)->real, flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) { return H(f)->real->pMethods->xFileSize(H(f)->real, size); }
int xLock(sqlite3_file* f, int lock) { return H(f)->real->pMethods->xLock(H(f)->real, lock); }
int xUnlock(sqlite3_file* f, int lock) { return H(f)->real->pMethods->xUnlock(H(f)->real, lock); }
int xCheckReservedLock(sqlite3_file* f, int* out) { return H(f)->real->pMethods->xCheckReservedLock(H(f)->real, out); }
int xFileControl(sqlite3_file* f, int op, void* arg) { return H(f)->real->pMethods->xFileControl(H(f)->real, op, arg); }
int xSectorSize(sqlite3_file* f) { return H(f)->real->pMethods->xSectorSize(H(f)->real); }
int xDeviceCharacteristics(sqlite3_file* f) { return H(f)->real->pMethods->xDeviceCharacteristics(H(f)->real); }

// Version 1: no shared memory and no memory mapping, which a rollback journal never needs.
const sqlite3_io_methods kMethods = {
    1,       xClose,    xRead,  xWrite,  xTruncate,           xSync,       xFileSize, xLock, xUnlock,
    xCheckReservedLock, xFileControl, xSectorSize, xDeviceCharacteristics, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr};

int vOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    HookFile* hf = H(f);
    hf->base.pMethods = nullptr;
    hf->real = static_cast<sqlite3_file*>(sqlite3_malloc(RealVfs()->szOsFile));
    if (!hf->real) return SQLITE_NOMEM;
    std::memset(hf->real, 0, RealVfs()->szOsFile);
    const int rc = RealVfs()->xOpen(RealVfs(), name, hf->real, flags, outFlags);
    if (rc != SQLITE_OK) {
        if (hf->real->pMethods) hf->real->pMethods->xClose(hf->real);
        sqlite3_free(hf->real);
        return rc;
    }
    hf->path = new std::string(name ? name : "");
    hf->base.pMethods = &kMethods;
    return SQLITE_OK;
}
int vDelete(sqlite3_vfs*, const char* name, int syncDir) {
    if (!Allow(testing::FileEvent::kDelete, name)) return SQLITE_IOERR_DELETE;
    return RealVfs()->xDelete(RealVfs(), name, syncDir);
}
int vAccess(sqlite3_vfs*, const char* name, int flags, int* out) { return RealVfs()->xAccess(RealVfs(), name, flags, out); }
int vFullPathname(sqlite3_vfs*, const char* name, int n, char* out) {
    return RealVfs()->xFullPathname(RealVfs(), name, n, out);
}
void* vDlOpen(sqlite3_vfs*, const char* name) { return RealVfs()->xDlOpen(RealVfs(), name); }
void vDlError(sqlite3_vfs*, int n, char* out) { RealVfs()->xDlError(RealVfs(), n, out); }
void (*vDlSym(sqlite3_vfs*, void* h, const char* sym))(void) { return RealVfs()->xDlSym(RealVfs(), h, sym); }
void vDlClose(sqlite3_vfs*, void* h) { RealVfs()->xDlClose(RealVfs(), h); }
int vRandomness(sqlite3_vfs*, int n, char* out) { return RealVfs()->xRandomness(RealVfs(), n, out); }
int vSleep(sqlite3_vfs*, int us) { return RealVfs()->xSleep(RealVfs(), us); }
int vCurrentTime(sqlite3_vfs*, double* t) { return RealVfs()->xCurrentTime(RealVfs(), t); }
int vGetLastError(sqlite3_vfs*, int n, char* out) { return RealVfs()->xGetLastError(RealVfs(), n, out); }
int vCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* t) { return RealVfs()->xCurrentTimeInt64(RealVfs(), t); }

}  // namespace

void InstallHookVfs() {
    static sqlite3_vfs vfs = {
        2, int(sizeof(HookFile)), RealVfs()->mxPathname, nullptr, "recman-hook", nullptr, vOpen, vDelete,
        vAccess, vFullPathname, vDlOpen, vDlError, vDlSym, vDlClose, vRandomness, vSleep, vCurrentTime,
        vGetLastError, vCurrentTimeInt64, nullptr, nullptr, nullptr};
    static bool done = false;
    if (!done) {
        sqlite3_vfs_register(&vfs, 1);
        done = true;
    }
}

namespace testing {
void SetFileEventHook(FileEventHook hook) {
    Hook() = std::move(hook);
    InstallHookVfs();
}
}  // namespace testing

}  // namespace recman
