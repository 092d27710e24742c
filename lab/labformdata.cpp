#include "lab/labformdata.h"
std::string BuildFormData(const std::vector<LabRow>&, const FormHeader&) { return {}; }
bool WriteFormDataFile(const std::string&, const std::string&) { return false; }
FormHeader ReadFormHeader(const LabFilter&, const std::string&) { return {}; }
