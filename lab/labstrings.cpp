// The texts of the lab-work module's string resources: window and toolbar texts, messages
// and questions, and the weekday names of the by-item view.
#include "lab/labstrings.h"

#include "suite/tool/strings.h"

void RegisterLabStrings() {
    RegisterStrings({
        {kIdsLabTitle, "矯正歯科 患者管理システム - 技工物予定管理"},
        {kIdsLabSixMonths,
         "予定のない日も出力する場合は、検索範囲を６ヶ月以内に設定してください。"},
        {kIdsLabByItemDelete, "選択された技工物予定データを削除してもよろしいですか。"},
        {kIdsLabCount, "件数："},
        {kIdsLabFormTitle, "技工物・予定表"},
        {kIdsLabSaveFailed,
         "データベースの登録・更新が失敗しました。\nもう一回再登録してください。"},
        {kIdsLabByItemTitle, "技工物予定"},
        {kIdsLabDeleteFailed,
         "指定されたデータを削除する際、エラーが発生しまた。\nデータの削除ができませんでした。"},
        {kIdsLabDeleteQuestion,
         "下記の技工物データを削除してもよろしいですか。\n\n%1\n\n*注意：\n\t"
         "この契約によって作成された入金予定データも削除されます。"},
        {kIdsLabPrintDate, "印刷日: %1"},
        {kIdsLabPrintJob, "Printing Lab works"},
        {kIdsLabAllItems, "全件表示"},
        {kIdsLabWeekdays, "日 月 火 水 木 金 土"},

        {kCmdLabOk, "選択を確定\nOK"},
        {kCmdLabCancel, "選択をｷｬﾝｾﾙ\nｷｬﾝｾﾙ"},
        {kCmdLabClose, "技工物予定管理を閉じます\n閉じる"},
        {kCmdLabNew, "新しい技工物予定を登録します\n新規予定"},
        {kCmdLabEdit, "選択された技工物予定を修正します\n予定修正"},
        {kCmdLabDelete, "選択された技工物予定を削除します\n予定削除"},
        {kCmdLabPrint, "表示中の予定表を印刷します\n印刷"},
        {kCmdLabRefresh, "現在の条件で検索し直します (F5)\n再検索"},
        {kCmdLabListView, "一件を一行にして一覧で表示します\n通常表示"},
        {kCmdLabByItemView, "技工物区分ごとに完成予定日の順に表示します\n技工物別表示"},
        {kCmdLabCsv, "現在のリストを CSV ファイルとして保存します\nCSV保存"},
    });
}
