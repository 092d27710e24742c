// The texts of the booking rules: the failure messages of a save, the questions asked before
// saving, cancelling and deleting, and the few fixed words the time texts use. They go into
// the suite's string table (LoadString) under the ids below.
#pragma once

namespace velo::sheet {

constexpr int kIdsUpdateFailed = 1514;       // "データの更新を行なう際、エラーが発生します。"
constexpr int kIdsDeleteFailed = 1523;       // "データの削除を行なう際、エラーが発生します。"
constexpr int kIdsDeleteQuestion = 1548;     // "予約データを削除してよろしいですか。"
constexpr int kIdsOverlap = 1554;            // "予約が重複しています。"
constexpr int kIdsLabDateQuestion = 1569;    // the reservation day lies before the lab item's
constexpr int kIdsMinutesLong = 1588;        // "分間"
constexpr int kIdsStaffNotChosen = 1589;     // "  -- 未選択 --", first item of the staff combo
// "入力者を選択してください。". Its natural number, 1590, already holds the sheet window's
// title in the shared table, so it lives under a number of its own.
constexpr int kIdsChooseStaff = 1597;

// Registers the texts above (and the cancel question, 1558); calling it again is harmless.
void RegisterBookingStrings();

}  // namespace velo::sheet
