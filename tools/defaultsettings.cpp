// Default GlobalSetting.ini of a new database folder.
#include "defaultsettings.h"

#include <filesystem>

#include "suite/text/globalsettings.h"
#include "suite/text/inifile.h"

namespace velodb {
namespace {

struct SIntSetting {
    const char* m_section;
    const char* m_key;
    int m_value;
};

struct STextSetting {
    const char* m_section;
    const char* m_key;
    const char* m_value;
};

// The appointment sheet's keys with the values it assumes when they are missing. Colours
// are Windows colour references (0x00BBGGRR), written in hexadecimal below.
constexpr SIntSetting kIntSettings[] = {
    {"GLOBAL", "TimeSpan", 15},
    {"GLOBAL", "CellWidthOfTimeSpan", 30},
    {"GLOBAL", "CellWidthOfTimeSpanDay", 150},
    {"GLOBAL", "AppointTimeFromH", 9},
    {"GLOBAL", "AppointTimeFromM", 0},
    {"GLOBAL", "AppointTimeToH", 19},
    {"GLOBAL", "AppointTimeToM", 0},
    {"GLOBAL", "CalendarMode", 0},
    {"GLOBAL", "PrintDataMust", 1},
    {"GLOBAL", "DaysOfCheckingDuplicatedRes", 7},
    {"GLOBAL", "StaffSetMust", 0},
    {"GLOBAL", "CalculationTax", 1},
    {"GLOBAL", "ConsumptionTax", 0},
    {"MENTE", "Show12or24", 1},
    {"MENTE", "ReStatusMax1", 10},
    {"MENTE", "ReStatusMax2", 20},
    {"MENTE", "ReStatusMax3", 30},
    {"IME", "ModeAuto", 1},
    {"IME", "ModeName", 1},
    {"IME", "ModeFurigana", 2},
    {"IME", "ModeComment", 1},
    {"Reservation", "ContactStatusCount", 3},
    // A new database sends mail over the machine's own network connection; dialling up
    // is something a clinic switches on deliberately.
    {"EMail", "Connection", 0},
    {"EMail", "POPbeforeSMTP", 0},
    {"EMail", "APOP", 0},
    {"EMail", "SMTP_Port", 25},
    {"EMail", "POP3_Port", 110},
    {"EMail", "SmtpAttach", 0},
};

constexpr SIntSetting kColourSettings[] = {
    {"GLOBAL", "VeloColorOff", 0xAAAAFF},  {"GLOBAL", "VeloColorDrConveni", 0xC0C0C0},
    {"MENTE", "ReStatusColor1", 0xFFFFFF}, {"MENTE", "ReStatusColor2", 0x00FFFF},
    {"MENTE", "ReStatusColor3", 0x0080FF}, {"MENTE", "ReStatusColor4", 0x0000FF},
};

constexpr STextSetting kTextSettings[] = {
    {"GLOBAL", "VERSION", "1.1.0.0"},
    {"GLOBAL", "ClinicName", ""},
    {"GLOBAL", "ClinicAddress", ""},
    {"GLOBAL", "ClinicTel", ""},
    {"Reservation", "ContactStatusName0", "未"},
    {"Reservation", "ContactStatusName1", "不通"},
    {"Reservation", "ContactStatusName2", "済み"},
    {"EMail", "ConnectionName", ""},
    {"EMail", "Stmp", ""},
    {"EMail", "Sender", ""},
    {"EMail", "UserID", ""},
    {"EMail", "EmailAddress", ""},
    {"EMail", "Pop", ""},
    {"EMail", "Password", ""},
    {"EMail", "SmtpUserID", ""},
    {"EMail", "SmtpPassword", ""},
    {"EMail", "ReservationTemplate", ""},
};

}  // namespace

VELOOFFICEHOUR DefaultOfficeHours() {
    VELOOFFICEHOUR hours{};
    for (int day = 1; day <= 5; ++day) hours.Week[day] = {900, 1300, 1430, 1900};
    hours.Week[6] = {900, 1300, 1400, 1700};
    return hours;
}

bool WriteDefaultSettings(const std::string& folder, std::string* error) {
    const std::string path = (std::filesystem::path(folder) / "GlobalSetting.ini").string();
    CIniFile ini;
    for (const STextSetting& s : kTextSettings) {
        ini.SetString(s.m_section, s.m_key, QString::fromUtf8(s.m_value));
    }
    for (const SIntSetting& s : kIntSettings) ini.SetInt(s.m_section, s.m_key, s.m_value);
    for (const SIntSetting& s : kColourSettings) {
        ini.SetString(s.m_section, s.m_key, QString::asprintf("0x%06X", s.m_value));
    }
    // The fresh file replaces whatever is there, under the lock every program takes to
    // change the settings, so that it never lands in the middle of another's change.
    std::string saveError;
    if (!CIniFile::Update(
            path,
            [&ini](CIniFile& file) {
                file = ini;
                return true;
            },
            &saveError)) {
        *error = "cannot write " + path + ": " + saveError;
        return false;
    }
    CGlobalSettings::SetDatabaseFolder(folder);
    if (!CGlobalSettings::SetOfficeHours(DefaultOfficeHours())) {
        *error = "cannot write the office hours into " + path;
        return false;
    }
    return true;
}

}  // namespace velodb
