#include "lab/labcore.h"
const char* const kLabColumnHeaders[kColumnCount] = {};
const int kLabColumnWidths[kColumnCount] = {};
const char* const kSixMonthMessage = "";
int RefreshDoctorCache(CVeloDBSys*) { return -1; }
LabNames LoadLabNames(CVeloDBSys*) { return {}; }
QString StaffName(const LabNames&, const char*) { return {}; }
QString DoctorName(const LabNames&, const char*) { return {}; }
QString DueText(const tagMATERIALDB&) { return {}; }
int ReadLabRows(CVeloDBSys*, const LabFilter&, const LabNames&, std::vector<LabRow>*) { return -1; }
ByItemResult BuildByItemGrid(CVeloDBSys*, const LabFilter&, bool, const LabNames&, ByItemGrid*) {
    return ByItemResult::Ok;
}
QString ByItemDayLabel(const std::string&) { return {}; }
int DeleteLabItem(CVeloDBSys*, const std::string&, const std::function<bool()>&) { return -1; }
