// Planning of the demo clinic's appointment book: per working day, blocked times first,
// then each unit's consulting hours walked from opening to closing in bands of 15, 30 and
// 60 minutes with the odd gap, each band given to a doctor who is free for all of it.
#include "demoplan.h"

#include <algorithm>
#include <deque>
#include <utility>

namespace velodb {
namespace {

using Interval = std::pair<int, int>;  // minutes [first, second)

bool IsFree(const std::vector<Interval>& busy, int start, int end) {
    for (const Interval& b : busy) {
        if (start < b.second && b.first < end) return false;
    }
    return true;
}

// The end of the busy interval that holds minute t, or t when none does.
int SkipBusy(const std::vector<Interval>& busy, int t) {
    for (const Interval& b : busy) {
        if (b.first <= t && t < b.second) return b.second;
    }
    return t;
}

// The day's consulting sessions in minutes: before and after the break.
std::vector<Interval> Sessions(const VELOOFFICEHOURDATA& day) {
    std::vector<Interval> sessions;
    if (day.Open == 0 || day.Close == 0) return sessions;
    const int open = HhmmToMinutes(day.Open);
    const int close = HhmmToMinutes(day.Close);
    const int breakStart = day.BreakStart ? HhmmToMinutes(day.BreakStart) : close;
    const int breakEnd = day.BreakEnd ? HhmmToMinutes(day.BreakEnd) : close;
    if (breakStart > open) sessions.emplace_back(open, std::min(breakStart, close));
    if (breakEnd < close) sessions.emplace_back(std::max(breakEnd, open), close);
    return sessions;
}

int PastStatus(CDemoRandom& random) {
    const int roll = random.Range(0, 99);
    if (roll < 83) return kResCame;
    if (roll < 87) return kResBooked;  // never came and never called: a no-show
    if (roll < 91) return kResCancelledWithNotice;
    if (roll < 94) return kResCancelledLastMinute;
    if (roll < 95) return kResRevoked;
    return kResChanged;
}

int FutureStatus(CDemoRandom& random) {
    const int roll = random.Range(0, 99);
    if (roll < 90) return kResBooked;
    if (roll < 94) return kResChanged;
    if (roll < 98) return kResCancelledWithNotice;
    return kResRevoked;
}

class CPlanner {
public:
    CPlanner(CDemoRandom& random, const SPlanInput& input) : m_random(random), m_input(input) {}

    std::vector<SPlannedReservation> Run() {
        for (QDate day = m_input.m_first; day <= m_input.m_last; day = day.addDays(1)) {
            const VELOOFFICEHOURDATA& hours = m_input.m_hours.Week[day.dayOfWeek() % 7];
            const std::vector<Interval> sessions = Sessions(hours);
            if (sessions.empty() || (m_input.m_isClosed && m_input.m_isClosed(day))) continue;
            PlanDay(day, sessions);
        }
        // A change whose new booking never came within the book is left as a plain
        // cancellation, so every status 5 record has its successor.
        for (long long index : m_pendingChanges) {
            m_plan[static_cast<size_t>(index)].m_status = kResCancelledWithNotice;
        }
        return std::move(m_plan);
    }

private:
    void PlanDay(const QDate& day, const std::vector<Interval>& sessions) {
        std::vector<std::vector<Interval>> unitBusy(static_cast<size_t>(m_input.m_units));
        std::vector<std::vector<Interval>> doctorBusy(static_cast<size_t>(m_input.m_doctors));
        std::vector<SPlannedReservation> dayPlan;

        // A chair out of service for an hour now and then.
        if (m_input.m_units > 0 && m_random.Percent(12)) {
            const Interval& session = sessions[static_cast<size_t>(
                m_random.Range(0, static_cast<int>(sessions.size()) - 1))];
            const int positions = (session.second - session.first - 60) / 15;
            if (positions >= 0) {
                const int start = session.first + 15 * m_random.Range(0, positions);
                const int unit = m_random.Range(0, m_input.m_units - 1);
                unitBusy[static_cast<size_t>(unit)].emplace_back(start, start + 60);
                dayPlan.push_back(Blocked(day, start, start + 60, unit, -1));
            }
        }
        // A doctor away for a whole session (a conference, a school check-up).
        if (m_input.m_doctors > 0 && m_random.Percent(6)) {
            const Interval& session = sessions.back();
            const int doctor = m_random.Range(0, m_input.m_doctors - 1);
            doctorBusy[static_cast<size_t>(doctor)].push_back(session);
            dayPlan.push_back(Blocked(day, session.first, session.second, -1, doctor));
        }

        for (int unit = 0; unit < m_input.m_units; ++unit) {
            auto& busy = unitBusy[static_cast<size_t>(unit)];
            for (const Interval& session : sessions) {
                int t = session.first;
                while (t < session.second) {
                    const int skipped = SkipBusy(busy, t);
                    if (skipped != t) {
                        t = skipped;
                        continue;
                    }
                    if (m_random.Percent(18)) {
                        t += 15 * m_random.Range(1, 2);
                        continue;
                    }
                    static constexpr int kLengths[] = {15, 30, 30, 30, 60};
                    const int length = kLengths[m_random.Range(0, 4)];
                    const int end = t + length;
                    if (end > session.second || !IsFree(busy, t, end)) {
                        t += 15;
                        continue;
                    }
                    const int doctor = FreeDoctor(doctorBusy, t, end);
                    if (doctor < 0) {
                        t += 15;
                        continue;
                    }
                    doctorBusy[static_cast<size_t>(doctor)].emplace_back(t, end);
                    busy.emplace_back(t, end);
                    dayPlan.push_back(Visit(day, t, end, unit, doctor));
                    t = end;
                }
            }
        }
        std::stable_sort(dayPlan.begin(), dayPlan.end(),
                         [](const SPlannedReservation& a, const SPlannedReservation& b) {
                             return a.m_start < b.m_start;
                         });
        for (SPlannedReservation& r : dayPlan) Append(std::move(r));
    }

    int FreeDoctor(const std::vector<std::vector<Interval>>& doctorBusy, int start, int end) {
        const int first = m_random.Range(0, m_input.m_doctors - 1);
        for (int i = 0; i < m_input.m_doctors; ++i) {
            const int doctor = (first + i) % m_input.m_doctors;
            if (IsFree(doctorBusy[static_cast<size_t>(doctor)], start, end)) return doctor;
        }
        return -1;
    }

    SPlannedReservation Blocked(const QDate& day, int start, int end, int unit, int doctor) {
        SPlannedReservation r;
        r.m_date = day;
        r.m_start = MinutesToHhmm(start);
        r.m_end = MinutesToHhmm(end);
        r.m_unit = unit;
        r.m_doctor = doctor;
        r.m_status = kResBooked;  // a blocked time is no visit: it neither comes nor cancels
        return r;
    }

    SPlannedReservation Visit(const QDate& day, int start, int end, int unit, int doctor) {
        SPlannedReservation r;
        r.m_date = day;
        r.m_start = MinutesToHhmm(start);
        r.m_end = MinutesToHhmm(end);
        r.m_unit = unit;
        r.m_doctor = doctor;
        r.m_kind = m_random.Range(0, std::max(1, m_input.m_kinds) - 1);
        r.m_patient = m_random.Range(0, std::max(1, m_input.m_patients) - 1);
        const bool past = day < m_input.m_today;
        r.m_status = past ? PastStatus(m_random) : FutureStatus(m_random);
        switch (r.m_status) {
            case kResCancelledWithNotice:
                r.m_statusDate = day.addDays(-m_random.Range(1, 7));
                break;
            case kResCancelledLastMinute:
                r.m_statusDate = day;
                break;
            case kResRevoked:
                r.m_statusDate = day.addDays(-m_random.Range(1, 14));
                break;
            case kResChanged:
                r.m_statusDate = day.addDays(-m_random.Range(1, 10));
                break;
            default:
                break;
        }
        if (r.m_statusDate.isValid() && r.m_statusDate > m_input.m_today) {
            r.m_statusDate = m_input.m_today;
        }
        return r;
    }

    void Append(SPlannedReservation r) {
        const long long index = static_cast<long long>(m_plan.size());
        const bool live = r.m_patient >= 0 && (r.m_status == kResBooked || r.m_status == kResCame);
        if (live && !m_pendingChanges.empty()) {
            SPlannedReservation& old = m_plan[static_cast<size_t>(m_pendingChanges.front())];
            if (old.m_date < r.m_date) {
                r.m_patient = old.m_patient;
                r.m_kind = old.m_kind;
                old.m_newBooking = index;
                m_pendingChanges.pop_front();
            }
        }
        if (r.m_status == kResChanged) m_pendingChanges.push_back(index);
        m_plan.push_back(std::move(r));
    }

    CDemoRandom& m_random;
    const SPlanInput& m_input;
    std::vector<SPlannedReservation> m_plan;
    std::deque<long long> m_pendingChanges;
};

}  // namespace

std::vector<SPlannedReservation> PlanReservations(CDemoRandom& random, const SPlanInput& input) {
    return CPlanner(random, input).Run();
}

std::vector<SPlannedReservation> PlanReservationCount(uint64_t seed, SPlanInput input,
                                                      long long count) {
    if (count <= 0) return {};
    for (;;) {
        CDemoRandom random(seed);
        std::vector<SPlannedReservation> plan = PlanReservations(random, input);
        const long long have = static_cast<long long>(plan.size());
        if (have >= count) {
            // Dropping the oldest records never orphans a change: a new booking always
            // lies after the record it replaced.
            const long long drop = have - count;
            plan.erase(plan.begin(), plan.begin() + static_cast<std::ptrdiff_t>(drop));
            for (SPlannedReservation& r : plan) {
                if (r.m_newBooking >= 0) r.m_newBooking -= drop;
            }
            return plan;
        }
        // A clinic without a working day, or a book that reaches the distant past, is
        // as full as it gets.
        if (input.m_first.year() < 1900) return plan;
        // Reach further back by what the days planned so far suggest, with a margin.
        const long long days = std::max<long long>(1, input.m_first.daysTo(input.m_last) + 1);
        const long long perDay = std::max<long long>(1, have / days);
        const long long more = (count - have) / perDay * 6 / 5 + 14;
        input.m_first = input.m_first.addDays(-more);
    }
}

}  // namespace velodb
