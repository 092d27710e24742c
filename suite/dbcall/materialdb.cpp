// Lab-work items.
#include "suite/dbcall/materialdb.h"

CMaterialDB::CMaterialDB(const char*) : CTableDB("MATERIAL.BTR") {}

int CMaterialDB::PrefetchMaterials(const std::vector<std::string>& materialNos) {
    return PrefetchEqual(kKeyMaterialNo, sizeof m_Data.MaterialNo, materialNos);
}

int CMaterialDB::GetMaterialData(const char* materialNo) {
    return GetEqualByParts(kKeyMaterialNo, {{materialNo, sizeof m_Data.MaterialNo}});
}
