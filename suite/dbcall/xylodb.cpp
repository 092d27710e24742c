// Table classes of xylodb.h.
#include "suite/dbcall/xylodb.h"

CAddLatDB::CAddLatDB(const char*) : CTableDB("ADDLAT.BTR") {}

CCasMasDB::CCasMasDB(const char*) : CTableDB("CASMAS.BTR") {}

CChevronDB::CChevronDB(const char*) : CTableDB("CHEVRON.BTR") {}

CCvbaDB::CCvbaDB(const char*) : CTableDB("CVBA.BTR") {}

CLasDB::CLasDB(const char*) : CTableDB("LAS.BTR") {}

CMoexDB::CMoexDB(const char*) : CTableDB("MOEX.BTR") {}

CMvtoDB::CMvtoDB(const char*) : CTableDB("MVTO.BTR") {}

CPileLatDB::CPileLatDB(const char*) : CTableDB("PILELAT.BTR") {}

CPilePaDB::CPilePaDB(const char*) : CTableDB("PILEPA.BTR") {}

CPointLatDB::CPointLatDB(const char*) : CTableDB("POINTLAT.BTR") {}

CPointPaDB::CPointPaDB(const char*) : CTableDB("POINTPA.BTR") {}

CSpPointDB::CSpPointDB(const char*) : CTableDB("SPPOINT.BTR") {}

CSpPointPDB::CSpPointPDB(const char*) : CTableDB("SPPOINTP.BTR") {}

CPhotoDB::CPhotoDB(const char*) : CTableDB("PHOTO.BTR") {}

CPointMoDB::CPointMoDB(const char*) : CTableDB("POINTMO.BTR") {}

CPointMo2DB::CPointMo2DB(const char*) : CTableDB("POINTMO2.BTR") {}

CReportDB::CReportDB(const char*) : CTableDB("REPORT.BTR") {}

CSlideShowDB::CSlideShowDB(const char*) : CTableDB("SLIDESHOW.BTR") {}

CXyPhotoExDB::CXyPhotoExDB(const char*) : CTableDB("XYPHOTOEX.BTR") {}

CXyPhotoExImgDB::CXyPhotoExImgDB(const char*) : CTableDB("XYPHOTOEXIMG.BTR") {}

CXyPhotoExTextDB::CXyPhotoExTextDB(const char*) : CTableDB("XYPHOTOEXTEXT.BTR") {}

CSurgeryDB::CSurgeryDB(const char*) : CTableDB("SURGERY.BTR") {}

CSurgeryTreatmentDB::CSurgeryTreatmentDB(const char*) : CTableDB("SURGERYTREATMENT.BTR") {}

CTextTblDB::CTextTblDB(const char*) : CTableDB("TEXTTBL.BTR") {}

CImgTypeDB::CImgTypeDB(const char*) : CTableDB("IMGTYPE.BTR") {}
