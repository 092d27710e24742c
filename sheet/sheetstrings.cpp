// The texts of the reservation sheet's main window: toolbar captions and tooltips, the
// window title, weekday names and the questions it asks.
#include "sheet/sheetstrings.h"

#include "suite/tool/strings.h"

namespace velo::sheet {

void RegisterSheetStrings() {
    RegisterStrings({
        {kIdsSheetTitle, "予約"},
        {kIdsWeekdayNames, "日 月 火 水 木 金 土"},
        {kIdsCancelQuestion, "予約をキャンセルしてもよろしいですか。"},
        {kIdsDayTips, "前日\n今日\n翌日"},
        {kIdsWeekTips, "前の週\n今週\n次の週"},
        {kIdsMemoWriteFailed,
         "カレンダーメモを保存できませんでした。入力した内容はそのまま残っています。\n%1"},
        {kIdsPrintTitle, "の予約"},
        {kIdsPrintCount, "予約件数："},
        {kIdsUnreadDayBooking,
         "%1 のデータを読み込めていないため、予約を登録できません。\n"
         "空いて見える時間にも予約が入っている可能性があります。"
         "「画面更新」で正しく読み込めてから登録してください。"},

        {kCmdClose, "画面を閉じる\n　閉じる"},
        {kCmdPatientDetail, "患者詳細情報を表示\n患者詳細"},
        {kCmdBilling, "入金\n入金処理"},
        {kCmdNewReservation, "予約を登録する\n新規予約"},
        {kCmdChangeReservation, "予約を変更する\n予約変更"},
        {kCmdRevokeReservation, "予約を取り消す\n予約取消"},
        {kCmdEditReservation, "予約データを編集する\n予約編集"},
        {kCmdDeleteReservation, "予約データを削除する。\n予約削除"},
        {kCmdRefresh, "画面更新\n画面更新"},
        {kCmdSearch, "予約された患者を検索する\n予約検索"},
        {kCmdReference, "予約参照を表示します。\n予約参照"},
        {kCmdPrintSheet, "予約シートを印刷する\n印刷"},
        {kCmdPrintBook, "予約簿を印刷する\n予約簿"},
        {kCmdLayoutUnit, "ユニット別で予約シートを表示する\nユニット"},
        {kCmdLayoutDoctor, "担当医別で予約シートを表示する\n担当医"},
        {kCmdStandby, "予約キャンセル待ち編集\n予約待ち"},
        {kCmdVisitFlow, "来院の流れ\n来院流れ"},
        {kCmdXylo, "Xyloの起動\nXylo"},
        {kCmdZoom, "拡大表示する\n拡大"},
        {kCmdRestore, "標準に戻す\n標準"},
        {kCmdDayView, "日単位で表示する\n日"},
        {kCmdWeekView, "週単位で表示する\n週"},
        {kCmdBack, "前日\n前日"},
        {kCmdForward, "翌日\n翌日"},
        {kCmdToday, "今日\n今日"},
        {kCmdBalloonItems, "予約の吹き出し表示・非表示設定を行う\n予約の吹き出し表示・非表示設定"},
        {kCmdBarItems, "予約バーの情報表示・非表示設定を行う\n予約バーの情報表示・非表示設定"},
        {kCmdCalendarMemo, "カレンダーメモ入力\nカレンダーメモ"},
    });
}

}  // namespace velo::sheet
