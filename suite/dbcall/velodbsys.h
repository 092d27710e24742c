// The database handle the host program owns and passes to every module call. It names the
// database folder and carries the few caches that modules keep for the life of the handle
// (the lab module's doctor-name table, the names of the masters behind a patient's coded
// fields that the sheet shows). Table objects bind to it with SetAssociatedDB.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "suite/dbcall/tablestamp.h"

class CVeloDBSys final {
public:
    // Doctor names indexed by numeric doctor code, valid while the doctor file's
    // modification time equals fileTime (-1: never filled, or the table has no file).
    struct CDoctorNameCache {
        int64_t fileTime = -1;
        std::vector<QString> names;
    };

    // Names of the entries of the masters behind a patient's coded fields, by the key their
    // reader chose, and the stamps of the master files taken before they were read (one per
    // file; none: never filled, or a master that is no file of the folder).
    struct CPatientMasterNames {
        std::vector<CTableStamp> stamps;
        std::unordered_map<std::string, QString> conditions, outsideDoctors, customEntries;
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
    CPatientMasterNames& PatientMasterNames() { return m_patientMasterNames; }
    // Where each patient's first record was last found in PATIENT1.BTR (a position of the
    // record manager), for reads that look up many patients: a position is only a hint, read
    // and checked to hold that patient before it is trusted.
    std::unordered_map<std::string, uint32_t>& PatientPositions() { return m_patientPositions; }

private:
    std::string m_folder;
    CDoctorNameCache m_doctorNames;
    CPatientMasterNames m_patientMasterNames;
    std::unordered_map<std::string, uint32_t> m_patientPositions;
};
