// The string resources of the lab-work module, registered in the suite's string table,
// and the ids of the lab schedule window's commands. A command's string is "tooltip\n
// caption", as CTools::SetText2ToolbarOfDlg and SetTip2ToolbarOfDlg read it.
#pragma once

// Toolbars of the schedule window: normal mode and picking mode.
constexpr int kIdrLabToolbar = 14501;
constexpr int kIdrLabPickToolbar = 14502;

// Commands of the schedule window (QAction::data()).
constexpr int kCmdLabOk = 14502;          // picking: confirm the selected item
constexpr int kCmdLabCancel = 14503;      // picking: close without an item
constexpr int kCmdLabClose = 14504;       // close the window
constexpr int kCmdLabNew = 14505;         // enter a new item
constexpr int kCmdLabEdit = 14506;        // change the selected item
constexpr int kCmdLabDelete = 14507;      // delete the selected item
constexpr int kCmdLabPrint = 14508;       // print the current view
constexpr int kCmdLabRefresh = 14509;     // read again with the current filters
constexpr int kCmdLabListView = 14510;    // the list view
constexpr int kCmdLabByItemView = 14511;  // the by-item view
constexpr int kCmdLabCsv = 3036;          // save the list as CSV

// Texts.
constexpr int kIdsLabTitle = 14002;           // window title
constexpr int kIdsLabSixMonths = 14003;       // empty days over more than six months
constexpr int kIdsLabByItemDelete = 14004;    // question before deleting a card
constexpr int kIdsLabCount = 14005;           // status bar "件数："
constexpr int kIdsLabFormTitle = 14006;       // title handed to the form printer
constexpr int kIdsLabSaveFailed = 14007;      // the edit dialog's save failed
constexpr int kIdsLabByItemTitle = 14008;     // heading of the printed by-item view
constexpr int kIdsLabDeleteFailed = 14009;    // a delete failed
constexpr int kIdsLabDeleteQuestion = 14010;  // question before deleting a row, %1 the row
constexpr int kIdsLabPrintDate = 14011;       // "印刷日: %1" of the printed by-item view
constexpr int kIdsLabPrintJob = 14012;        // document name of the by-item print job
constexpr int kIdsLabAllItems = 14013;        // the whole file, no range
constexpr int kIdsLabWeekdays = 14014;        // weekday names, Sunday first, blank separated

// Registers the lab module's strings; calling it again is harmless.
void RegisterLabStrings();
