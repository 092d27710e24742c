// The clinic's own closed and open days as the editor works on them: the marks stored in
// the suite settings, the changes a person makes on top of them, and what the day-off rule
// makes of a day with its mark. Kept apart from the dialog so it is checked without one.
#pragma once

#include <QDate>
#include <QString>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "suite/text/globalsettings.h"
#include "suite/text/officehour.h"

class CClinicDayMarks {
public:
    using EMark = CGlobalSettings::EClinicDay;

    // Reads the stored marks and the office hours, and forgets any change.
    void Load();

    // The day's mark with the changes applied.
    EMark Mark(const QDate& day) const;
    // Changes the day's mark (to the stored one again: no change is left for that day).
    void SetMark(const QDate& day, EMark mark);
    bool IsModified() const { return !m_changes.empty(); }

    // Every day with a mark other than kClinicDayUsual, changes applied, in date order.
    std::vector<std::pair<QDate, EMark>> MarkedDays() const;

    // Stores the changes in one rewrite of the settings file and takes them as stored.
    // On failure nothing is stored, the changes are kept and the reason is in *error.
    bool Save(std::string* error = nullptr);

    const VELOOFFICEHOUR& OfficeHours() const { return m_hours; }
    // What the day-off rule makes of the day with its current mark (a CDate::EDayOff).
    int DayOffReason(const QDate& day) const;
    // Two lines: the day with its weekday and holiday name, then whether the clinic is open
    // or closed that day and why ("2026/11/03(火) 文化の日" / "診療（祝日ですが診療します）").
    QString Describe(const QDate& day) const;

private:
    std::map<std::string, EMark> m_stored;
    std::map<std::string, EMark> m_changes;
    VELOOFFICEHOUR m_hours{};
};
