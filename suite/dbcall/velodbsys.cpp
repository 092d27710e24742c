// The database handle: folder binding and the process-wide current database folder.
#include "suite/dbcall/velodbsys.h"

#include <filesystem>
#include <system_error>

#include "suite/text/globalsettings.h"

CVeloDBSys::CVeloDBSys(const std::string& folder) {
    if (!folder.empty()) {
        Open(folder);
    }
}

bool CVeloDBSys::Open(const std::string& folder) {
    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(folder, error)) {
        return false;
    }
    std::string withSlash = folder;
    if (withSlash.back() != '/') {
        withSlash += '/';
    }
    if (withSlash != m_folder) {
        m_doctorNames = CDoctorNameCache{};
        m_patientMasterNames = CPatientMasterNames{};
        m_patientPositions.clear();
    }
    m_folder = withSlash;
    CGlobalSettings::SetDatabaseFolder(m_folder);
    return true;
}
