// The patient tables; CPatientDB keeps PATIENT1.BTR and PATIENT2.BTR in step.
#include "suite/dbcall/patientdb.h"

#include <cstring>
#include <vector>

namespace {

// Runs write inside a transaction of its own when the caller has none open; inside the
// caller's transaction a failure is only returned (the caller aborts).
template <typename Write>
int InOwnTransaction(Write write) {
    const bool own = !CBaseDBCall::InTransaction();
    if (own) {
        const int status = CBaseDBCall::BeginTran();
        if (status != recman::kOk) {
            return status;
        }
    }
    int status = write();
    if (own) {
        if (status == recman::kOk) {
            status = CBaseDBCall::EndTran();
            if (status != recman::kOk) {
                CBaseDBCall::AbortTran();
            }
        } else {
            CBaseDBCall::AbortTran();
        }
    }
    return status;
}

}  // namespace

CPatient1DB::CPatient1DB(const char*) : CTableDB("PATIENT1.BTR") {}

int CPatient1DB::GetPatient1Data(const char* patientId) {
    return GetEqualByParts(kKeyPatientID, {{patientId, sizeof m_Data.PatientID}});
}

CPatient2DB::CPatient2DB(const char*) : CTableDB("PATIENT2.BTR") {}

int CPatient2DB::GetPatient2Data(const char* patientId) {
    return GetEqualByParts(kKeyPatientID, {{patientId, sizeof m_Data.PatientID}});
}

COldPatientDB::COldPatientDB(const char*) : CTableDB("PATIENT.BTR") {}

int COldPatientDB::GetOldPatientData(const char* patientId) {
    return GetEqualByParts(kKeyPatientID, {{patientId, sizeof m_Data.PatientID}});
}

CPatientDB::CPart2::CPart2(void* record)
    : CBaseDBCall("PATIENT2.BTR", record, sizeof(tagPATIENT2DB)) {}

int CPatientDB::CPart2::ReadById(const char* patientId) {
    return GetEqualByParts(0, {{patientId, sizeof(tagPATIENT2DB::PatientID)}});
}

CPatientDB::CPatientDB(const char*)
    : CTableDB("PATIENT1.BTR", sizeof(tagPATIENT1DB)), m_part2(Part2()) {}

int CPatientDB::Open(const std::string& folder) {
    if (m_part2.IsOpen()) {
        m_part2.Close();
    }
    int status = CBaseDBCall::Open(folder);
    if (status != recman::kOk) {
        return status;
    }
    status = m_part2.Open(folder);
    if (status != recman::kOk) {
        CBaseDBCall::Close();
        return Finish(status);
    }
    m_part2Loaded = false;
    return status;
}

int CPatientDB::Close() {
    if (m_part2.IsOpen()) {
        m_part2.Close();
    }
    return CBaseDBCall::Close();
}

int CPatientDB::AfterRead() {
    std::memcpy(m_loadedPatientId, m_Data.PatientID, sizeof m_loadedPatientId);
    m_part2Loaded = false;
    if (m_readPart1Only) {
        std::memset(Part2(), 0, sizeof(tagPATIENT2DB));
        return recman::kOk;
    }
    const int status = m_part2.ReadById(m_Data.PatientID);
    if (status == recman::kOk) {
        m_part2Loaded = true;
        return recman::kOk;
    }
    std::memset(Part2(), 0, sizeof(tagPATIENT2DB));
    if (status == recman::kKeyNotFound) {
        // A patient without its second record reads as zeros and gets one on Update.
        m_part2Loaded = true;
        return recman::kOk;
    }
    return status;
}

int CPatientDB::WritePart2(const char* lookupId) {
    std::memcpy(m_Data.Patient2ID, m_Data.PatientID, sizeof m_Data.Patient2ID);
    // Looking the stored record up overwrites the buffer; keep what is to be written.
    std::vector<char> wanted(Part2(), Part2() + sizeof(tagPATIENT2DB));
    const int found = m_part2.ReadById(lookupId);
    std::memcpy(Part2(), wanted.data(), wanted.size());
    if (found == recman::kOk) {
        return m_part2.Update();
    }
    if (found == recman::kKeyNotFound) {
        return m_part2.Insert();
    }
    return found;
}

int CPatientDB::Insert() {
    const int status = InOwnTransaction([this] {
        int result = CBaseDBCall::Insert();
        if (result == recman::kOk) {
            result = WritePart2(m_Data.PatientID);
        }
        return result;
    });
    if (status == recman::kOk) {
        std::memcpy(m_loadedPatientId, m_Data.PatientID, sizeof m_loadedPatientId);
        m_part2Loaded = true;
    }
    return Finish(status);
}

int CPatientDB::Update() {
    const int status = InOwnTransaction([this] {
        int result = CBaseDBCall::Update();
        if (result == recman::kOk && m_part2Loaded) {
            result = WritePart2(m_loadedPatientId);
        }
        return result;
    });
    if (status == recman::kOk) {
        std::memcpy(m_loadedPatientId, m_Data.PatientID, sizeof m_loadedPatientId);
    }
    return Finish(status);
}

int CPatientDB::Delete() {
    const int status = InOwnTransaction([this] {
        int result = CBaseDBCall::Delete();
        if (result != recman::kOk) {
            return result;
        }
        std::vector<char> kept(Part2(), Part2() + sizeof(tagPATIENT2DB));
        const int found = m_part2.ReadById(m_loadedPatientId);
        std::memcpy(Part2(), kept.data(), kept.size());
        if (found == recman::kOk) {
            return m_part2.Delete();
        }
        return found == recman::kKeyNotFound ? recman::kOk : found;
    });
    return Finish(status);
}

int CPatientDB::GetPatientData(const char* patientId) {
    return GetEqualByParts(kKeyPatientID, {{patientId, sizeof m_Data.PatientID}});
}

int CPatientDB::PrefetchPatients(const std::vector<std::string>& patientIds) {
    const int status = PrefetchEqual(kKeyPatientID, sizeof m_Data.PatientID, patientIds);
    if (status != recman::kOk) return status;
    return m_part2.PrefetchEqual(0, sizeof(tagPATIENT2DB::PatientID), patientIds);
}

int CPatientDB::GetPatient1Data(const char* patientId) {
    m_readPart1Only = true;
    const int status = GetEqualByParts(kKeyPatientID, {{patientId, sizeof m_Data.PatientID}});
    m_readPart1Only = false;
    return status;
}

int CPatientDB::GetByPrefix(int keyNumber, const char* prefix, size_t width, size_t fieldOffset) {
    const char* text = prefix != nullptr ? prefix : "";
    const size_t length = ::strnlen(text, width - 1);
    char key[recman::kMaxKeyLength] = {};
    std::memcpy(key, text, length);
    SetKey(keyNumber);
    SetKeyBuffer(key, static_cast<int>(width));
    int status = GetGREQ();
    if (status == recman::kEndOfFile) {
        return Finish(recman::kKeyNotFound);
    }
    if (status != recman::kOk) {
        return status;
    }
    const char* field = reinterpret_cast<const char*>(&m_Data) + fieldOffset;
    if (std::memcmp(field, text, length) != 0) {
        return Finish(recman::kKeyNotFound);
    }
    return status;
}

int CPatientDB::GetPatientDataByID(const char* chartNoPrefix) {
    return GetByPrefix(kKeyChartNo, chartNoPrefix, sizeof m_Data.ChartNo,
                       offsetof(tagPATIENTDB, ChartNo));
}

int CPatientDB::GetPatientDataByName(const char* namePrefix) {
    return GetByPrefix(kKeyName, namePrefix, sizeof m_Data.Name, offsetof(tagPATIENTDB, Name));
}

int CPatientDB::GetPatientDataByKana(const char* kanaPrefix) {
    return GetByPrefix(kKeyKana, kanaPrefix, sizeof m_Data.Kana, offsetof(tagPATIENTDB, Kana));
}
