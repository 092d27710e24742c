// The string resources and command ids of the reservation sheet's main window. A command's
// string is "tooltip\ncaption", as CTools::SetText2ToolbarOfDlg and SetTip2ToolbarOfDlg
// read it; the same number is the command's QAction::data().
#pragma once

namespace velo::sheet {

// Toolbars.
constexpr int kIdrMainToolbar = 1000;
constexpr int kIdrViewToolbar = 1011;
constexpr int kIdrZoomViewToolbar = 1012;

// Commands of the window.
constexpr int kCmdClose = 1000;
constexpr int kCmdPatientDetail = 1543;  // CVeloCore::OnStart for the target patient
constexpr int kCmdBilling = 1542;        // CVeloCore::OnBilling for the target patient
constexpr int kCmdNewReservation = 1009;
constexpr int kCmdChangeReservation = 1012;
constexpr int kCmdRevokeReservation = 1006;
constexpr int kCmdCancelWithNotice = 1004;
constexpr int kCmdCancelLastMinute = 1005;
constexpr int kCmdEditReservation = 1001;
constexpr int kCmdDeleteReservation = 1002;
constexpr int kCmdRefresh = 1541;
constexpr int kCmdRefreshButton = 1095;
constexpr int kCmdSearch = 1025;
constexpr int kCmdReference = 1013;
constexpr int kCmdPrintSheet = 1003;
constexpr int kCmdPrintBook = 1538;
constexpr int kCmdLayoutUnit = 1008;
constexpr int kCmdLayoutDoctor = 1007;
constexpr int kCmdStandby = 1570;
constexpr int kCmdVisitFlow = 1801;
constexpr int kCmdXylo = 1546;
constexpr int kCmdZoom = 1018;
constexpr int kCmdZoomButton = 1038;
constexpr int kCmdRestore = 1021;
constexpr int kCmdRestoreButton = 1039;
constexpr int kCmdDayView = 1019;
constexpr int kCmdDayViewButton = 1041;
constexpr int kCmdWeekView = 1020;
constexpr int kCmdWeekViewButton = 1040;
constexpr int kCmdBack = 1022;
constexpr int kCmdForward = 1023;
constexpr int kCmdToday = 1024;
constexpr int kCmdPrevMonth = 1035;
constexpr int kCmdNextMonth = 1036;
constexpr int kCmdTodayButton = 1061;
constexpr int kCmdFourWeeks = 1047;
constexpr int kCmdSixWeeks = 1046;
constexpr int kCmdEightWeeks = 1045;
constexpr int kCmdBalloonItems = 1544;
constexpr int kCmdBarItems = 1586;
constexpr int kCmdCalendarMemo = 1595;

// Texts.
constexpr int kIdsSheetTitle = 1590;
constexpr int kIdsWeekdayNames = 1506;  // "日 月 火 水 木 金 土", Sunday first
constexpr int kIdsCancelQuestion = 1558;
constexpr int kIdsDayTips = 1594;   // "前日\n今日\n翌日": tooltips of 1022, 1024, 1023
constexpr int kIdsWeekTips = 1596;  // "前の週\n今週\n次の週"
constexpr int kIdsMemoWriteFailed = 1640;  // the calendar memo could not be saved; %1 = file
constexpr int kIdsPrintTitle = 1553;  // "の予約": after the printed heading, and the job name
constexpr int kIdsPrintCount = 1559;  // "予約件数："
// A booking into a day whose reservations could not be read is refused; %1 = the file.
constexpr int kIdsUnreadDayBooking = 19100;

// Registers the sheet window's strings; calling it again is harmless.
void RegisterSheetStrings();

}  // namespace velo::sheet
