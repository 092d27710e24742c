// The texts of the booking rules in the suite's string table.
#include "sheet/bookingstrings.h"

#include "sheet/sheetstrings.h"
#include "suite/tool/strings.h"

namespace velo::sheet {

void RegisterBookingStrings() {
    // Once per process: the strip's texts ask for them for every bar.
    static const bool registered = [] {
        RegisterStrings({
            {kIdsUpdateFailed, "データの更新を行なう際、エラーが発生します。"},
            {kIdsDeleteFailed, "データの削除を行なう際、エラーが発生します。"},
            {kIdsDeleteQuestion, "予約データを削除してよろしいですか。"},
            {kIdsOverlap, "予約が重複しています。"},
            {kIdsLabDateQuestion,
             "予約日が技工物予定の完成予定日より前になっておりますが、予約データを登録してもよろしいですか。"},
            {kIdsMinutesLong, "分間"},
            {kIdsStaffNotChosen, "  -- 未選択 --"},
            {kIdsChooseStaff, "入力者を選択してください。"},
            {kIdsCancelQuestion, "予約をキャンセルしてもよろしいですか。"},
        });
        return true;
    }();
    (void)registered;
}

}  // namespace velo::sheet
