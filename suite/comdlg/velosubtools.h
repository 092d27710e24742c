// CVeloSubTools: the suite's settings access and small shared helpers - folders of the
// installation, clock-time arithmetic in HHMM form, the consumption-tax rate of a day, the
// fraction rounding of money amounts, and the copy into fixed-width record fields. All
// members are static and none throws; failures come back as defaults or false.
#pragma once

#include <QString>
#include <string>

struct VELOOFFICEHOUR;

class CVeloSubTools final {
public:
    CVeloSubTools() = delete;

    // Suite settings (GlobalSetting.ini of the database folder). Section and key are UTF-8;
    // sections and keys are compared without regard to case. A missing or unreadable value
    // yields the default.
    static int GetGlobalSettingInt(const char* section, const char* key, int def);
    static QString GetGlobalSettingString(const char* section, const char* key, const QString& def);
    // Stores a value; false (and the file unchanged) when it cannot be written.
    static bool SetGlobalSettingInt(const char* section, const char* key, int value);
    static bool SetGlobalSettingString(const char* section, const char* key, const QString& value);

    // Folder of the running executable, ending in "/".
    static std::string GetProgramFolder();
    // Folder of the files the suite ships with (images/, templates/), ending in "/": the
    // program folder in the build tree, <prefix>/share/velo/ in an installed suite.
    static std::string GetDataFolder();
    // The data folder followed by "templates/".
    static std::string GetTemplatesFolder();
    // This user's folder for short-lived working files, ending in "/": "velo/" in the user's
    // runtime folder ($XDG_RUNTIME_DIR), or "<system temp>/velo-<user id>/" when that is not
    // set. It is created when missing, readable by this user only, so users who share the
    // machine never share it. "" when it cannot be made or belongs to someone else, with
    // the folder and the reason in *error when error is not null.
    static std::string GetTemporaryFolder(QString* error = nullptr);

    // Length from `from` to `to`, both HHMM (hours * 100 + minutes), in the same form.
    // 0 when `to` is not after `from`. GetTimeSpan(1030, 945) == 45.
    static int GetTimeSpan(int to, int from);

    // Consumption-tax rate in force on a "YYYYMMDD" day: 0 before 1989-04-01, then 0.03,
    // 0.05 from 1997-04-01, 0.08 from 2014-04-01, 0.10 from 2019-10-01. A missing or
    // malformed date gives the rate of today.
    static double GetTaxRate(const char* yyyymmdd);

    // Fraction modes of RoundOff.
    enum RoundMode { kTruncate = 0, kRoundHalfUp = 1, kRoundUp = 2 };
    // Applies a fraction mode to a money amount: 0 drops the fraction, 1 rounds half away
    // from zero, 2 rounds away from zero; negative amounts are treated as the mirror of
    // positive ones. An amount within 1e-9 of a whole number or of a half (for amounts beyond
    // 1e5, within 1e-14 of the amount) counts as that value, so 1.1 * 100 is 110 in every
    // mode. An unknown mode
    // rounds half up, the suite's default. Results beyond the range of long are clamped;
    // NaN gives 0.
    static long RoundOff(int mode, double amount);

    // The clinic's office hours, Sunday first; a day without stored hours is all zero.
    static void GetVeloOfficeHourData(VELOOFFICEHOUR* hours);

    // Reminder template `number`: fills the three strings and returns true, or returns false
    // and leaves them unchanged when the template does not exist.
    static bool GetReservationTemplate(int number, QString& title, QString& subject, QString& body);

    // Copies exactly `count` bytes of `src` into a fixed-width record field and writes a zero
    // at dest[count], so the field must be at least count + 1 bytes wide. A shorter (or null)
    // source is padded with zero bytes. Nothing is written when count is negative.
    static void velo_strcpy(char* dest, int count, const char* src);
};
