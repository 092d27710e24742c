// The database handle the host program owns and passes to every module call. It names the
// database folder and carries the few caches that modules keep for the life of the handle
// (the lab module's doctor-name table). Table objects bind to it with SetAssociatedDB.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

class CVeloDBSys final {
public:
    // Doctor names indexed by numeric doctor code, valid while the doctor file's
    // modification time equals fileTime (-1: never filled).
    struct CDoctorNameCache {
        int64_t fileTime = -1;
        std::vector<QString> names;
    };

    // Opens folder at once when it is not empty (the result can be read with
    // GetDatabaseFolder: empty when the folder does not exist).
    explicit CVeloDBSys(const std::string& folder = "");

    CVeloDBSys(const CVeloDBSys&) = delete;
    CVeloDBSys& operator=(const CVeloDBSys&) = delete;

    // Binds the handle to an existing folder, stored with a trailing "/", and makes it the
    // process's current database folder. Returns false, leaving the handle unchanged, when
    // the folder does not exist.
    bool Open(const std::string& folder);

    // The database folder with a trailing "/", or "" before a successful Open.
    const std::string& GetDatabaseFolder() const { return m_folder; }

    CDoctorNameCache& DoctorNameCache() { return m_doctorNames; }

private:
    std::string m_folder;
    CDoctorNameCache m_doctorNames;
};
