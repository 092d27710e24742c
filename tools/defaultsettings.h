// The settings a new database folder starts with: GlobalSetting.ini holding the format
// version, the appointment sheet's keys at their defaults, the mail keys and the clinic's
// office hours.
#pragma once

#include <string>

#include "suite/text/officehour.h"

namespace velodb {

// Monday to Friday 9:00-13:00 and 14:30-19:00, Saturday 9:00-13:00 and 14:00-17:00,
// Sunday closed.
VELOOFFICEHOUR DefaultOfficeHours();

// Writes a fresh GlobalSetting.ini into folder (replacing one that is there) and makes
// folder the process's current database folder. Returns false with a message on failure.
bool WriteDefaultSettings(const std::string& folder, std::string* error);

}  // namespace velodb
