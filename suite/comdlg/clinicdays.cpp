// CClinicDayMarks: the stored marks read once, the person's changes kept beside them and
// written together, and the day-off rule of CDate applied to a mark not yet stored.
#include "suite/comdlg/clinicdays.h"

#include "suite/tool/date.h"
#include "suite/tool/japaneseholidays.h"

namespace {

const QString kWeekdays[7] = {QStringLiteral("日"), QStringLiteral("月"), QStringLiteral("火"),
                              QStringLiteral("水"), QStringLiteral("木"), QStringLiteral("金"),
                              QStringLiteral("土")};

std::string KeyOf(const QDate& day) { return CDate::ToYmd(day); }

}  // namespace

void CClinicDayMarks::Load() {
    m_stored = CGlobalSettings::ClinicDays();
    m_changes.clear();
    CGlobalSettings::GetOfficeHours(&m_hours);
}

CClinicDayMarks::EMark CClinicDayMarks::Mark(const QDate& day) const {
    const std::string key = KeyOf(day);
    if (auto it = m_changes.find(key); it != m_changes.end()) return it->second;
    if (auto it = m_stored.find(key); it != m_stored.end()) return it->second;
    return CGlobalSettings::kClinicDayUsual;
}

void CClinicDayMarks::SetMark(const QDate& day, EMark mark) {
    if (!day.isValid()) return;
    const std::string key = KeyOf(day);
    const auto stored = m_stored.find(key);
    const EMark before =
        stored == m_stored.end() ? CGlobalSettings::kClinicDayUsual : stored->second;
    if (mark == before) {
        m_changes.erase(key);
    } else {
        m_changes[key] = mark;
    }
}

std::vector<std::pair<QDate, CClinicDayMarks::EMark>> CClinicDayMarks::MarkedDays() const {
    std::map<std::string, EMark> all = m_stored;
    for (const auto& [key, mark] : m_changes) all[key] = mark;
    std::vector<std::pair<QDate, EMark>> days;
    for (const auto& [key, mark] : all) {
        if (mark != CGlobalSettings::kClinicDayUsual) {
            days.emplace_back(CDate::FromYmd(key.c_str()), mark);
        }
    }
    return days;
}

bool CClinicDayMarks::Save(std::string* error) {
    if (m_changes.empty()) return true;
    if (!CGlobalSettings::SetClinicDays(m_changes, error)) return false;
    for (const auto& [key, mark] : m_changes) {
        if (mark == CGlobalSettings::kClinicDayUsual) {
            m_stored.erase(key);
        } else {
            m_stored[key] = mark;
        }
    }
    m_changes.clear();
    return true;
}

int CClinicDayMarks::DayOffReason(const QDate& day) const {
    return CDate::DayOffReason(day, m_hours, Mark(day));
}

QString CClinicDayMarks::Describe(const QDate& day) const {
    if (!day.isValid()) return QString();
    QString text = day.toString(QStringLiteral("yyyy/MM/dd")) + QLatin1Char('(') +
                   kWeekdays[day.dayOfWeek() % 7] + QLatin1Char(')');
    const QString holiday = HolidayName(day.year(), day.month(), day.day());
    if (!holiday.isEmpty()) text += QLatin1Char(' ') + holiday;
    text += QStringLiteral("\n");
    const EMark mark = Mark(day);
    switch (DayOffReason(day)) {
        case CDate::kNoOfficeHours:
            text += QStringLiteral("休診（診療時間のない曜日）");
            if (mark == CGlobalSettings::kClinicDayOpen) {
                text += QStringLiteral("\n診療時間のない曜日は、診療日にしても休診のままです。");
            }
            break;
        case CDate::kNationalHoliday:
            text += QStringLiteral("休診（祝日）");
            break;
        case CDate::kClinicDayOff:
            text += QStringLiteral("休診（医院の休診日）");
            break;
        default:
            text += mark == CGlobalSettings::kClinicDayOpen && !holiday.isEmpty()
                        ? QStringLiteral("診療（祝日ですが診療します）")
                        : QStringLiteral("診療");
            break;
    }
    return text;
}
