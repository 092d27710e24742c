#include "lab/labitem.h"
bool LabItemInputComplete(const LabItemInput&) { return false; }
std::string NextMaterialNo(CVeloDBSys*, const std::string&) { return {}; }
int SaveLabItem(CVeloDBSys*, const LabItemInput&, const std::string&, std::string*) { return -1; }
