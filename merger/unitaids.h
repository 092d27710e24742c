// Control ids of the merger's main window. Each control carries its id as its objectName
// (decimal), so tests and the commands' focus rules find it.
#pragma once

namespace unita {

constexpr int kIdCancel = 2;  // "閉じる"
constexpr int kIdCalyxDatabase = 1000;
constexpr int kIdCalyxDatabaseBrowse = 1001;
constexpr int kIdCalyxImage = 1002;
constexpr int kIdCalyxImageBrowse = 1003;
constexpr int kIdCalyxList = 1004;
constexpr int kIdXyloDatabase = 1005;
constexpr int kIdXyloDatabaseBrowse = 1006;
constexpr int kIdXyloImage = 1007;
constexpr int kIdXyloImageBrowse = 1008;
constexpr int kIdXyloList = 1009;
constexpr int kIdCalyxLoad = 1010;
constexpr int kIdXyloLoad = 1011;
constexpr int kIdDestDatabase = 1012;
constexpr int kIdDestDatabaseBrowse = 1013;
constexpr int kIdDestImage = 1014;
constexpr int kIdDestImageBrowse = 1015;
constexpr int kIdMergeStart = 1016;
constexpr int kIdConvert = 1017;
constexpr int kIdProgress = 1019;
constexpr int kIdStatus = 1020;
constexpr int kIdXyloReport = 1021;
constexpr int kIdXyloReportBrowse = 1022;
constexpr int kIdDestReport = 1023;
constexpr int kIdDestReportBrowse = 1024;
constexpr int kIdBirthDateXylo = 1025;
constexpr int kIdPointCalyxToMerged = 1027;
constexpr int kIdPointXyloToMerged = 1028;
constexpr int kIdXyloSlideshow = 1029;
constexpr int kIdXyloSlideshowBrowse = 1030;
constexpr int kIdDestSlideshow = 1031;
constexpr int kIdDestSlideshowBrowse = 1032;
constexpr int kIdCommentXylo = 1034;
constexpr int kIdGuardianXylo = 1035;
constexpr int kIdMatchById = 1036;
constexpr int kIdMatchByIdAndName = 1037;
constexpr int kIdMatchByNameAndBirth = 1038;
constexpr int kIdConvertCalyx = 1039;
constexpr int kIdBasicTablesXylo = 1040;
constexpr int kIdCaseTablesXylo = 1041;
constexpr int kIdMergeDataList = 1042;
constexpr int kIdMergeSelected = 1043;
constexpr int kIdMergeTablesOnly = 1044;
constexpr int kIdCombine = 1045;

}  // namespace unita
