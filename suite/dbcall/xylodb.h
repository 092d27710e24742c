// Tables of the cephalometric product that the merger moves between databases: per-patient
// analyses and media records (keyed by PatientID and RecordNo) and two files copied whole.
#pragma once

#include <cstddef>
#include <cstdint>

#include "suite/dbcall/fielddesc.h"
#include "suite/dbcall/tabledb.h"

#pragma pack(push, 1)
// Additional lateral analysis (ADDLAT.BTR), 2000 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32 1968 Reserved32 analysis or media data, carried whole
struct tagADDLATDB {
    char PatientID[21];
    char RecordNo[11];
    char Reserved32[1968];
};

// Case master analysis (CASMAS.BTR), 2000 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32   11 PhotoNo    photo the analysis is drawn on
//     43 1957 Reserved43 analysis or media data, carried whole
struct tagCASMASDB {
    char PatientID[21];
    char RecordNo[11];
    char PhotoNo[11];
    char Reserved43[1957];
};

// Chevron analysis (CHEVRON.BTR), 400 bytes; RecordNo is the lateral analysis it belongs to.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32  368 Reserved32 analysis or media data, carried whole
struct tagCHEVRONDB {
    char PatientID[21];
    char RecordNo[11];
    char Reserved32[368];
};

// Vertebra analysis (CVBA.BTR), 800 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32   11 PhotoNo    photo
//     43  757 Reserved43 analysis or media data, carried whole
struct tagCVBADB {
    char PatientID[21];
    char RecordNo[11];
    char PhotoNo[11];
    char Reserved43[757];
};

// Lateral analysis summary (LAS.BTR), 1400 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32 1368 Reserved32 analysis or media data, carried whole
struct tagLASDB {
    char PatientID[21];
    char RecordNo[11];
    char Reserved32[1368];
};

// Model extra (MOEX.BTR), 400 bytes; RecordNo is the model analysis it belongs to.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32  368 Reserved32 analysis or media data, carried whole
struct tagMOEXDB {
    char PatientID[21];
    char RecordNo[11];
    char Reserved32[368];
};

// Movement (MVTO.BTR), 320 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32   11 AnalysisNo analysis the movement belongs to
//     43  277 Reserved43 analysis or media data, carried whole
struct tagMVTODB {
    char PatientID[21];
    char RecordNo[11];
    char AnalysisNo[11];
    char Reserved43[277];
};

// Lateral superimposition (PILELAT.BTR), 1600 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32 1568 Reserved32 analysis or media data, carried whole
struct tagPILELATDB {
    char PatientID[21];
    char RecordNo[11];
    char Reserved32[1568];
};

// Frontal superimposition (PILEPA.BTR), 800 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32  768 Reserved32 analysis or media data, carried whole
struct tagPILEPADB {
    char PatientID[21];
    char RecordNo[11];
    char Reserved32[768];
};

// Lateral point analysis (POINTLAT.BTR), 3000 bytes.
//
// OFFSET SIZE FIELD        MEANING
//      0   21 PatientID    patient identifier "%010d"
//     21   11 RecordNo     record number "%010d" within the patient
//     32   11 PhotoNo      photo
//     43 2890 Body43       points
//   2933   11 PhotoNo2     second photo
//   2944   36 Body2944     points
//   2980   11 PhotoNo3     third photo
//   2991    9 Reserved2991 analysis or media data, carried whole
struct tagPOINTLATDB {
    char PatientID[21];
    char RecordNo[11];
    char PhotoNo[11];
    char Body43[2890];
    char PhotoNo2[11];
    char Body2944[36];
    char PhotoNo3[11];
    char Reserved2991[9];
};

// Frontal point analysis (POINTPA.BTR), 4000 bytes.
//
// OFFSET SIZE FIELD        MEANING
//      0   21 PatientID    patient identifier "%010d"
//     21   11 RecordNo     record number "%010d" within the patient
//     32   11 PhotoNo      photo
//     43 3649 Body43       points
//   3692   11 PhotoNo2     second photo
//   3703  297 Reserved3703 analysis or media data, carried whole
struct tagPOINTPADB {
    char PatientID[21];
    char RecordNo[11];
    char PhotoNo[11];
    char Body43[3649];
    char PhotoNo2[11];
    char Reserved3703[297];
};

// Special lateral points (SPPOINT.BTR), 4000 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32 3968 Reserved32 analysis or media data, carried whole
struct tagSPPOINTDB {
    char PatientID[21];
    char RecordNo[11];
    char Reserved32[3968];
};

// Special frontal points (SPPOINTP.BTR), 4000 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32 3968 Reserved32 analysis or media data, carried whole
struct tagSPPOINTPDB {
    char PatientID[21];
    char RecordNo[11];
    char Reserved32[3968];
};

// Photo (PHOTO.BTR), 80 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32    9 PhotoDate  day taken
//     41   35 Title      title
//     76    1 MediaType  0 still image, 1 AVI, 2 MPG, 3 MPEG, 4 MOV movie
//     77    3 Reserved77 analysis or media data, carried whole
struct tagPHOTODB {
    char PatientID[21];
    char RecordNo[11];
    char PhotoDate[9];
    char Title[35];
    uint8_t MediaType;
    char Reserved77[3];
};

// Model point analysis (POINTMO.BTR), 1408 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32   11 PhotoNo    photo
//     43 1365 Reserved43 analysis or media data, carried whole
struct tagPOINTMODB {
    char PatientID[21];
    char RecordNo[11];
    char PhotoNo[11];
    char Reserved43[1365];
};

// Model point analysis, part 2 (POINTMO2.BTR), 4000 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32 3968 Reserved32 analysis or media data, carried whole
struct tagPOINTMO2DB {
    char PatientID[21];
    char RecordNo[11];
    char Reserved32[3968];
};

// Report (REPORT.BTR), 1000 bytes; the report file is named by RecordNo.
//
// OFFSET SIZE FIELD       MEANING
//      0   21 PatientID   patient identifier "%010d"
//     21   11 RecordNo    record number "%010d" within the patient
//     32    9 ReportDate  day
//     41   81 Title       title
//    122  878 Reserved122 analysis or media data, carried whole
struct tagREPORTDB {
    char PatientID[21];
    char RecordNo[11];
    char ReportDate[9];
    char Title[81];
    char Reserved122[878];
};

// Slideshow (SLIDESHOW.BTR), 1000 bytes.
//
// OFFSET SIZE FIELD       MEANING
//      0   21 PatientID   patient identifier "%010d"
//     21   11 RecordNo    record number "%010d" within the patient
//     32    9 SlideDate   day
//     41   81 Title       title
//    122  878 Reserved122 analysis or media data, carried whole
struct tagSLIDESHOWDB {
    char PatientID[21];
    char RecordNo[11];
    char SlideDate[9];
    char Title[81];
    char Reserved122[878];
};

// Photo set (XYPHOTOEX.BTR), 1000 bytes; a RecordNo "A%09d" is the companion of the base record
// with that number.
//
// OFFSET SIZE FIELD       MEANING
//      0   21 PatientID   patient identifier "%010d"
//     21   11 RecordNo    record number "%010d" within the patient
//     32    9 PhotoDate   day
//     41   11 CompanionNo "A%09d" companion record number
//     52  948 Reserved52  analysis or media data, carried whole
struct tagXYPHOTOEXDB {
    char PatientID[21];
    char RecordNo[11];
    char PhotoDate[9];
    char CompanionNo[11];
    char Reserved52[948];
};

// Image of a photo set (XYPHOTOEXIMG.BTR), 400 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32    6 ImageNo    image within the set
//     38   11 PhotoNo    photo
//     49  351 Reserved49 analysis or media data, carried whole
struct tagXYPHOTOEXIMGDB {
    char PatientID[21];
    char RecordNo[11];
    char ImageNo[6];
    char PhotoNo[11];
    char Reserved49[351];
};

// Text of a photo set (XYPHOTOEXTEXT.BTR), 4000 bytes.
//
// OFFSET SIZE FIELD        MEANING
//      0   21 PatientID    patient identifier "%010d"
//     21   11 RecordNo     record number "%010d" within the patient
//     32    6 TextNo       text within the set
//     38 2001 Text         text
//   2039 1961 Reserved2039 analysis or media data, carried whole
struct tagXYPHOTOEXTEXTDB {
    char PatientID[21];
    char RecordNo[11];
    char TextNo[6];
    char Text[2001];
    char Reserved2039[1961];
};

// Surgery simulation (SURGERY.BTR), 2000 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32   11 SurgeryNo  surgery within the analysis
//     43 1957 Reserved43 analysis or media data, carried whole
struct tagSURGERYDB {
    char PatientID[21];
    char RecordNo[11];
    char SurgeryNo[11];
    char Reserved43[1957];
};

// Surgery step (SURGERYTREATMENT.BTR), 800 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient identifier "%010d"
//     21   11 RecordNo   record number "%010d" within the patient
//     32   11 SurgeryNo  surgery
//     43    5 StepNo     step within the surgery
//     48  752 Reserved48 analysis or media data, carried whole
struct tagSURGERYTREATMENTDB {
    char PatientID[21];
    char RecordNo[11];
    char SurgeryNo[11];
    char StepNo[5];
    char Reserved48[752];
};

// Text table (TEXTTBL.BTR), 400 bytes: fixed texts of the cephalometric product.
//
// OFFSET SIZE FIELD       MEANING
//      0    5 TextID      identifier (key 0)
//      5  301 Text        text
//    306   94 Reserved306 zero
struct tagTEXTTBLDB {
    char TextID[5];
    char Text[301];
    char Reserved306[94];
};

// Image type (IMGTYPE.BTR), 128 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0    4 Code       code (key 0)
//      4   41 Name       name
//     45    3 HiddenMark "__" hides the entry from lists and combos
//     48   80 Reserved48 zero
struct tagIMGTYPEDB {
    char Code[4];
    char Name[41];
    char HiddenMark[3];
    char Reserved48[80];
};
#pragma pack(pop)

static_assert(sizeof(tagADDLATDB) == 2000);
static_assert(offsetof(tagADDLATDB, RecordNo) == 21);

static_assert(sizeof(tagCASMASDB) == 2000);
static_assert(offsetof(tagCASMASDB, RecordNo) == 21);
static_assert(offsetof(tagCASMASDB, PhotoNo) == 32);

static_assert(sizeof(tagCHEVRONDB) == 400);
static_assert(offsetof(tagCHEVRONDB, RecordNo) == 21);

static_assert(sizeof(tagCVBADB) == 800);
static_assert(offsetof(tagCVBADB, RecordNo) == 21);
static_assert(offsetof(tagCVBADB, PhotoNo) == 32);

static_assert(sizeof(tagLASDB) == 1400);
static_assert(offsetof(tagLASDB, RecordNo) == 21);

static_assert(sizeof(tagMOEXDB) == 400);
static_assert(offsetof(tagMOEXDB, RecordNo) == 21);

static_assert(sizeof(tagMVTODB) == 320);
static_assert(offsetof(tagMVTODB, RecordNo) == 21);
static_assert(offsetof(tagMVTODB, AnalysisNo) == 32);

static_assert(sizeof(tagPILELATDB) == 1600);
static_assert(offsetof(tagPILELATDB, RecordNo) == 21);

static_assert(sizeof(tagPILEPADB) == 800);
static_assert(offsetof(tagPILEPADB, RecordNo) == 21);

static_assert(sizeof(tagPOINTLATDB) == 3000);
static_assert(offsetof(tagPOINTLATDB, RecordNo) == 21);
static_assert(offsetof(tagPOINTLATDB, PhotoNo) == 32);
static_assert(offsetof(tagPOINTLATDB, Body43) == 43);
static_assert(offsetof(tagPOINTLATDB, PhotoNo2) == 2933);
static_assert(offsetof(tagPOINTLATDB, Body2944) == 2944);
static_assert(offsetof(tagPOINTLATDB, PhotoNo3) == 2980);

static_assert(sizeof(tagPOINTPADB) == 4000);
static_assert(offsetof(tagPOINTPADB, RecordNo) == 21);
static_assert(offsetof(tagPOINTPADB, PhotoNo) == 32);
static_assert(offsetof(tagPOINTPADB, Body43) == 43);
static_assert(offsetof(tagPOINTPADB, PhotoNo2) == 3692);

static_assert(sizeof(tagSPPOINTDB) == 4000);
static_assert(offsetof(tagSPPOINTDB, RecordNo) == 21);

static_assert(sizeof(tagSPPOINTPDB) == 4000);
static_assert(offsetof(tagSPPOINTPDB, RecordNo) == 21);

static_assert(sizeof(tagPHOTODB) == 80);
static_assert(offsetof(tagPHOTODB, RecordNo) == 21);
static_assert(offsetof(tagPHOTODB, PhotoDate) == 32);
static_assert(offsetof(tagPHOTODB, Title) == 41);
static_assert(offsetof(tagPHOTODB, MediaType) == 76);

static_assert(sizeof(tagPOINTMODB) == 1408);
static_assert(offsetof(tagPOINTMODB, RecordNo) == 21);
static_assert(offsetof(tagPOINTMODB, PhotoNo) == 32);

static_assert(sizeof(tagPOINTMO2DB) == 4000);
static_assert(offsetof(tagPOINTMO2DB, RecordNo) == 21);

static_assert(sizeof(tagREPORTDB) == 1000);
static_assert(offsetof(tagREPORTDB, RecordNo) == 21);
static_assert(offsetof(tagREPORTDB, ReportDate) == 32);
static_assert(offsetof(tagREPORTDB, Title) == 41);

static_assert(sizeof(tagSLIDESHOWDB) == 1000);
static_assert(offsetof(tagSLIDESHOWDB, RecordNo) == 21);
static_assert(offsetof(tagSLIDESHOWDB, SlideDate) == 32);
static_assert(offsetof(tagSLIDESHOWDB, Title) == 41);

static_assert(sizeof(tagXYPHOTOEXDB) == 1000);
static_assert(offsetof(tagXYPHOTOEXDB, RecordNo) == 21);
static_assert(offsetof(tagXYPHOTOEXDB, PhotoDate) == 32);
static_assert(offsetof(tagXYPHOTOEXDB, CompanionNo) == 41);

static_assert(sizeof(tagXYPHOTOEXIMGDB) == 400);
static_assert(offsetof(tagXYPHOTOEXIMGDB, RecordNo) == 21);
static_assert(offsetof(tagXYPHOTOEXIMGDB, ImageNo) == 32);
static_assert(offsetof(tagXYPHOTOEXIMGDB, PhotoNo) == 38);

static_assert(sizeof(tagXYPHOTOEXTEXTDB) == 4000);
static_assert(offsetof(tagXYPHOTOEXTEXTDB, RecordNo) == 21);
static_assert(offsetof(tagXYPHOTOEXTEXTDB, TextNo) == 32);
static_assert(offsetof(tagXYPHOTOEXTEXTDB, Text) == 38);

static_assert(sizeof(tagSURGERYDB) == 2000);
static_assert(offsetof(tagSURGERYDB, RecordNo) == 21);
static_assert(offsetof(tagSURGERYDB, SurgeryNo) == 32);

static_assert(sizeof(tagSURGERYTREATMENTDB) == 800);
static_assert(offsetof(tagSURGERYTREATMENTDB, RecordNo) == 21);
static_assert(offsetof(tagSURGERYTREATMENTDB, SurgeryNo) == 32);
static_assert(offsetof(tagSURGERYTREATMENTDB, StepNo) == 43);

static_assert(sizeof(tagTEXTTBLDB) == 400);
static_assert(offsetof(tagTEXTTBLDB, Text) == 5);

static_assert(sizeof(tagIMGTYPEDB) == 128);
static_assert(offsetof(tagIMGTYPEDB, Name) == 4);
static_assert(offsetof(tagIMGTYPEDB, HiddenMark) == 45);

inline constexpr FieldDesc kAddLatFields[] = {
    VELO_FIELD(tagADDLATDB, PatientID, kText),
    VELO_FIELD(tagADDLATDB, RecordNo, kText),
};

inline constexpr FieldDesc kCasMasFields[] = {
    VELO_FIELD(tagCASMASDB, PatientID, kText),
    VELO_FIELD(tagCASMASDB, RecordNo, kText),
    VELO_FIELD(tagCASMASDB, PhotoNo, kText),
};

inline constexpr FieldDesc kChevronFields[] = {
    VELO_FIELD(tagCHEVRONDB, PatientID, kText),
    VELO_FIELD(tagCHEVRONDB, RecordNo, kText),
};

inline constexpr FieldDesc kCvbaFields[] = {
    VELO_FIELD(tagCVBADB, PatientID, kText),
    VELO_FIELD(tagCVBADB, RecordNo, kText),
    VELO_FIELD(tagCVBADB, PhotoNo, kText),
};

inline constexpr FieldDesc kLasFields[] = {
    VELO_FIELD(tagLASDB, PatientID, kText),
    VELO_FIELD(tagLASDB, RecordNo, kText),
};

inline constexpr FieldDesc kMoexFields[] = {
    VELO_FIELD(tagMOEXDB, PatientID, kText),
    VELO_FIELD(tagMOEXDB, RecordNo, kText),
};

inline constexpr FieldDesc kMvtoFields[] = {
    VELO_FIELD(tagMVTODB, PatientID, kText),
    VELO_FIELD(tagMVTODB, RecordNo, kText),
    VELO_FIELD(tagMVTODB, AnalysisNo, kText),
};

inline constexpr FieldDesc kPileLatFields[] = {
    VELO_FIELD(tagPILELATDB, PatientID, kText),
    VELO_FIELD(tagPILELATDB, RecordNo, kText),
};

inline constexpr FieldDesc kPilePaFields[] = {
    VELO_FIELD(tagPILEPADB, PatientID, kText),
    VELO_FIELD(tagPILEPADB, RecordNo, kText),
};

inline constexpr FieldDesc kPointLatFields[] = {
    VELO_FIELD(tagPOINTLATDB, PatientID, kText), VELO_FIELD(tagPOINTLATDB, RecordNo, kText),
    VELO_FIELD(tagPOINTLATDB, PhotoNo, kText),   VELO_FIELD(tagPOINTLATDB, PhotoNo2, kText),
    VELO_FIELD(tagPOINTLATDB, PhotoNo3, kText),
};

inline constexpr FieldDesc kPointPaFields[] = {
    VELO_FIELD(tagPOINTPADB, PatientID, kText),
    VELO_FIELD(tagPOINTPADB, RecordNo, kText),
    VELO_FIELD(tagPOINTPADB, PhotoNo, kText),
    VELO_FIELD(tagPOINTPADB, PhotoNo2, kText),
};

inline constexpr FieldDesc kSpPointFields[] = {
    VELO_FIELD(tagSPPOINTDB, PatientID, kText),
    VELO_FIELD(tagSPPOINTDB, RecordNo, kText),
};

inline constexpr FieldDesc kSpPointPFields[] = {
    VELO_FIELD(tagSPPOINTPDB, PatientID, kText),
    VELO_FIELD(tagSPPOINTPDB, RecordNo, kText),
};

inline constexpr FieldDesc kPhotoFields[] = {
    VELO_FIELD(tagPHOTODB, PatientID, kText), VELO_FIELD(tagPHOTODB, RecordNo, kText),
    VELO_FIELD(tagPHOTODB, PhotoDate, kDate), VELO_FIELD(tagPHOTODB, Title, kText),
    VELO_FIELD(tagPHOTODB, MediaType, kByte),
};

inline constexpr FieldDesc kPointMoFields[] = {
    VELO_FIELD(tagPOINTMODB, PatientID, kText),
    VELO_FIELD(tagPOINTMODB, RecordNo, kText),
    VELO_FIELD(tagPOINTMODB, PhotoNo, kText),
};

inline constexpr FieldDesc kPointMo2Fields[] = {
    VELO_FIELD(tagPOINTMO2DB, PatientID, kText),
    VELO_FIELD(tagPOINTMO2DB, RecordNo, kText),
};

inline constexpr FieldDesc kReportFields[] = {
    VELO_FIELD(tagREPORTDB, PatientID, kText),
    VELO_FIELD(tagREPORTDB, RecordNo, kText),
    VELO_FIELD(tagREPORTDB, ReportDate, kDate),
    VELO_FIELD(tagREPORTDB, Title, kText),
};

inline constexpr FieldDesc kSlideShowFields[] = {
    VELO_FIELD(tagSLIDESHOWDB, PatientID, kText),
    VELO_FIELD(tagSLIDESHOWDB, RecordNo, kText),
    VELO_FIELD(tagSLIDESHOWDB, SlideDate, kDate),
    VELO_FIELD(tagSLIDESHOWDB, Title, kText),
};

inline constexpr FieldDesc kXyPhotoExFields[] = {
    VELO_FIELD(tagXYPHOTOEXDB, PatientID, kText),
    VELO_FIELD(tagXYPHOTOEXDB, RecordNo, kText),
    VELO_FIELD(tagXYPHOTOEXDB, PhotoDate, kDate),
    VELO_FIELD(tagXYPHOTOEXDB, CompanionNo, kText),
};

inline constexpr FieldDesc kXyPhotoExImgFields[] = {
    VELO_FIELD(tagXYPHOTOEXIMGDB, PatientID, kText),
    VELO_FIELD(tagXYPHOTOEXIMGDB, RecordNo, kText),
    VELO_FIELD(tagXYPHOTOEXIMGDB, ImageNo, kText),
    VELO_FIELD(tagXYPHOTOEXIMGDB, PhotoNo, kText),
};

inline constexpr FieldDesc kXyPhotoExTextFields[] = {
    VELO_FIELD(tagXYPHOTOEXTEXTDB, PatientID, kText),
    VELO_FIELD(tagXYPHOTOEXTEXTDB, RecordNo, kText),
    VELO_FIELD(tagXYPHOTOEXTEXTDB, TextNo, kText),
    VELO_FIELD(tagXYPHOTOEXTEXTDB, Text, kText),
};

inline constexpr FieldDesc kSurgeryFields[] = {
    VELO_FIELD(tagSURGERYDB, PatientID, kText),
    VELO_FIELD(tagSURGERYDB, RecordNo, kText),
    VELO_FIELD(tagSURGERYDB, SurgeryNo, kText),
};

inline constexpr FieldDesc kSurgeryTreatmentFields[] = {
    VELO_FIELD(tagSURGERYTREATMENTDB, PatientID, kText),
    VELO_FIELD(tagSURGERYTREATMENTDB, RecordNo, kText),
    VELO_FIELD(tagSURGERYTREATMENTDB, SurgeryNo, kText),
    VELO_FIELD(tagSURGERYTREATMENTDB, StepNo, kText),
};

inline constexpr FieldDesc kTextTblFields[] = {
    VELO_FIELD(tagTEXTTBLDB, TextID, kText),
    VELO_FIELD(tagTEXTTBLDB, Text, kText),
};

inline constexpr FieldDesc kImgTypeFields[] = {
    VELO_FIELD(tagIMGTYPEDB, Code, kText),
    VELO_FIELD(tagIMGTYPEDB, Name, kText),
    VELO_FIELD(tagIMGTYPEDB, HiddenMark, kText),
};

class CAddLatDB final : public CTableDB<tagADDLATDB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (21) + RecordNo (11), unique
    };

    explicit CAddLatDB(const char* unused = nullptr);
};

class CCasMasDB final : public CTableDB<tagCASMASDB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (21) + RecordNo (11), unique
    };

    explicit CCasMasDB(const char* unused = nullptr);
};

class CChevronDB final : public CTableDB<tagCHEVRONDB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (21) + RecordNo (11), unique
    };

    explicit CChevronDB(const char* unused = nullptr);
};

class CCvbaDB final : public CTableDB<tagCVBADB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (21) + RecordNo (11), unique
    };

    explicit CCvbaDB(const char* unused = nullptr);
};

class CLasDB final : public CTableDB<tagLASDB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (21) + RecordNo (11), unique
    };

    explicit CLasDB(const char* unused = nullptr);
};

class CMoexDB final : public CTableDB<tagMOEXDB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (21) + RecordNo (11), unique
    };

    explicit CMoexDB(const char* unused = nullptr);
};

class CMvtoDB final : public CTableDB<tagMVTODB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (21) + RecordNo (11), unique
    };

    explicit CMvtoDB(const char* unused = nullptr);
};

class CPileLatDB final : public CTableDB<tagPILELATDB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (21) + RecordNo (11), unique
    };

    explicit CPileLatDB(const char* unused = nullptr);
};

class CPilePaDB final : public CTableDB<tagPILEPADB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (21) + RecordNo (11), unique
    };

    explicit CPilePaDB(const char* unused = nullptr);
};

class CPointLatDB final : public CTableDB<tagPOINTLATDB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (21) + RecordNo (11), unique
    };

    explicit CPointLatDB(const char* unused = nullptr);
};

class CPointPaDB final : public CTableDB<tagPOINTPADB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (21) + RecordNo (11), unique
    };

    explicit CPointPaDB(const char* unused = nullptr);
};

class CSpPointDB final : public CTableDB<tagSPPOINTDB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (21) + RecordNo (11), unique
    };

    explicit CSpPointDB(const char* unused = nullptr);
};

class CSpPointPDB final : public CTableDB<tagSPPOINTPDB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (21) + RecordNo (11), unique
    };

    explicit CSpPointPDB(const char* unused = nullptr);
};

class CPhotoDB final : public CTableDB<tagPHOTODB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (bytes 21) + RecordNo (bytes 11), unique
    };

    explicit CPhotoDB(const char* unused = nullptr);
};

class CPointMoDB final : public CTableDB<tagPOINTMODB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (bytes 21) + RecordNo (bytes 11), unique
    };

    explicit CPointMoDB(const char* unused = nullptr);
};

class CPointMo2DB final : public CTableDB<tagPOINTMO2DB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (bytes 21) + RecordNo (bytes 11), unique
    };

    explicit CPointMo2DB(const char* unused = nullptr);
};

class CReportDB final : public CTableDB<tagREPORTDB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (bytes 21) + RecordNo (bytes 11), unique
    };

    explicit CReportDB(const char* unused = nullptr);
};

class CSlideShowDB final : public CTableDB<tagSLIDESHOWDB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (bytes 21) + RecordNo (bytes 11), unique
    };

    explicit CSlideShowDB(const char* unused = nullptr);
};

class CXyPhotoExDB final : public CTableDB<tagXYPHOTOEXDB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (bytes 21) + RecordNo (bytes 11), unique
    };

    explicit CXyPhotoExDB(const char* unused = nullptr);
};

class CXyPhotoExImgDB final : public CTableDB<tagXYPHOTOEXIMGDB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (bytes 21) + RecordNo (bytes 11) + ImageNo (bytes 6), unique
    };

    explicit CXyPhotoExImgDB(const char* unused = nullptr);
};

class CXyPhotoExTextDB final : public CTableDB<tagXYPHOTOEXTEXTDB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (bytes 21) + RecordNo (bytes 11) + TextNo (bytes 6), unique
    };

    explicit CXyPhotoExTextDB(const char* unused = nullptr);
};

class CSurgeryDB final : public CTableDB<tagSURGERYDB> {
public:
    enum Key : int {
        kKeyPrimary =
            0,  // PatientID (bytes 21) + RecordNo (bytes 11) + SurgeryNo (bytes 11), unique
    };

    explicit CSurgeryDB(const char* unused = nullptr);
};

class CSurgeryTreatmentDB final : public CTableDB<tagSURGERYTREATMENTDB> {
public:
    enum Key : int {
        kKeyPrimary = 0,  // PatientID (bytes 21) + RecordNo (bytes 11) + SurgeryNo (bytes 11) +
                          // StepNo (bytes 5), unique
    };

    explicit CSurgeryTreatmentDB(const char* unused = nullptr);
};

class CTextTblDB final : public CTableDB<tagTEXTTBLDB> {
public:
    enum Key : int {
        kKeyTextID = 0,  // TextID (5), unique
    };

    explicit CTextTblDB(const char* unused = nullptr);
};

class CImgTypeDB final : public CTableDB<tagIMGTYPEDB> {
public:
    enum Key : int {
        kKeyCode = 0,  // Code (4), unique
    };

    explicit CImgTypeDB(const char* unused = nullptr);
};
