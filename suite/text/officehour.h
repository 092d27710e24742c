// The clinic's office hours: one entry per weekday, Sunday first, each four times in HHMM
// form (hours x 100 + minutes, 930 = 9:30). An entry of all zeros is a day without hours.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
// OFFSET SIZE FIELD       MEANING
//      0    2 Open        first time of the consulting hours (HHMM, 0 = not set)
//      2    2 BreakStart  start of the midday break (HHMM)
//      4    2 BreakEnd    end of the midday break (HHMM)
//      6    2 Close       end of the consulting hours (HHMM, 0 = not set)
struct VELOOFFICEHOURDATA {
    uint16_t Open;
    uint16_t BreakStart;
    uint16_t BreakEnd;
    uint16_t Close;
};

// OFFSET SIZE FIELD  MEANING
//      0   56 Week   seven VELOOFFICEHOURDATA, index 0 = Sunday ... 6 = Saturday
struct VELOOFFICEHOUR {
    VELOOFFICEHOURDATA Week[7];
};
#pragma pack(pop)

static_assert(offsetof(VELOOFFICEHOURDATA, Open) == 0);
static_assert(offsetof(VELOOFFICEHOURDATA, BreakStart) == 2);
static_assert(offsetof(VELOOFFICEHOURDATA, BreakEnd) == 4);
static_assert(offsetof(VELOOFFICEHOURDATA, Close) == 6);
static_assert(sizeof(VELOOFFICEHOURDATA) == 8);
static_assert(offsetof(VELOOFFICEHOUR, Week) == 0);
static_assert(sizeof(VELOOFFICEHOUR) == 56);
