// The appointment-sheet module as the host finds it at run time: the shared library
// "VeloSheet" in the program folder (or the build's lib folder beside it, or an installed
// suite's private lib/velo folder) and its exported entry DoStart. When either is missing
// the host shows its own screen.
#pragma once

#include <QLibrary>
#include <QString>
#include <QStringList>

class CVeloDBSys;

// The exported entry: runs the sheet modally on the host's open database and returns
// the screen code chosen on its navigation strip.
using DoStartFunction = int (*)(CVeloDBSys*);

// Folders searched for a module, in order: the program folder, ../lib beside it (the build
// tree) and ../lib/velo (an installed suite).
QStringList ModuleSearchFolders(const QString& programFolder);

class CModuleEntry final {
public:
    CModuleEntry() = default;
    CModuleEntry(const CModuleEntry&) = delete;
    CModuleEntry& operator=(const CModuleEntry&) = delete;

    // Looks for the library `baseName` ("VeloSheet") in the folders and resolves
    // `symbol` in the first one found. Returns whether the entry is available; when not,
    // Problem() says why.
    bool Load(const QString& baseName, const char* symbol, const QStringList& folders);

    bool IsAvailable() const { return m_entry != nullptr; }
    QString Problem() const { return m_problem; }
    // The path of the library found last (loaded or not); empty when none was found.
    QString LibraryPath() const { return m_library.fileName(); }

    // Calls DoStart. REQUIRES: IsAvailable().
    int Start(CVeloDBSys* db) const { return m_entry(db); }

private:
    QLibrary m_library;
    DoStartFunction m_entry = nullptr;
    QString m_problem;
};
