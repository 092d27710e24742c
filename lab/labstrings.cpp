// The texts of the lab-work module's string resources (captions, tooltips, messages and
// the weekday names of the by-item view).
#include "lab/labstrings.h"

#include "suite/tool/strings.h"

void RegisterLabStrings() {
    RegisterStrings({
        {14014, "日 月 火 水 木 金 土"},
    });
}
