// Masters and record filling of the demo clinic.
#include "demodata.h"

#include <QString>
#include <array>
#include <cstdio>
#include <cstring>

#include "demopeople.h"
#include "recman/recman.h"
#include "suite/dbcall/casedb.h"
#include "suite/dbcall/masterdb.h"
#include "suite/text/atomicfile.h"
#include "suite/text/cp932.h"

namespace velodb {

const char kDemoClinicName[] = "さくら矯正歯科クリニック";
const char kDemoClinicAddress[] = "東京都新宿区西新宿1-2-3 さくらビル2F";
const char kDemoClinicTel[] = "03-1234-5678";

namespace {

constexpr std::array<SDemoKind, 8> kKinds{{
    {"01", "初診相談", 0x80FFFF, "初診相談・カウンセリング", nullptr, nullptr},
    {"02", "精密検査", 0xFFC080, "精密検査（セファロ・口腔内写真・模型）", "0004", "研究用模型"},
    {"03", "診断", 0xC0FFC0, "診断・治療計画の説明", nullptr, nullptr},
    {"04", "装置装着", 0xFF80FF, "マルチブラケット装置装着", "0001",
     "インダイレクトボンディングトレー"},
    {"05", "調整", 0xFFFFC0, "ワイヤー調整", nullptr, nullptr},
    {"06", "保定観察", 0xC0C0FF, "保定観察・リテーナーチェック", nullptr, nullptr},
    {"07", "クリーニング", 0xE0E0E0, "PMTC・ブラッシング指導", nullptr, nullptr},
    {"08", "装置撤去", 0x80C0FF, "装置撤去・リテーナー装着", "0002", "ベッグタイプリテーナー"},
}};

// Adjustments are the everyday visit of an orthodontic clinic.
constexpr std::array<int, 17> kKindSlots{{0, 1, 2, 3, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 6, 6, 7}};

constexpr SDemoTemplate kTemplate{
    "予約確認メール", "ご予約の確認",
    "$_PNAME 様\n\nいつも当院をご利用いただきありがとうございます。\n"
    "ご予約の確認をお知らせいたします。\n\n　ご予約日：$_REDATE\n　ご予約時間：$_RETIME\n\n"
    "ご都合が悪くなられた場合は、お早めにお電話にてご連絡ください。\n\n"
    "さくら矯正歯科クリニック\nTEL 03-1234-5678\n（このメールは $_DATETIME に送信されました）"};

struct SCodeName {
    const char* m_code;
    const char* m_name;
    const char* m_kana;
    bool m_hidden;
};

constexpr SCodeName kUnits[] = {
    {"01", "チェア1", "", false}, {"02", "チェア2", "", false},     {"03", "チェア3", "", false},
    {"04", "チェア4", "", false}, {"09", "__予備チェア", "", true},
};
constexpr SCodeName kDoctors[] = {
    {"01", "山田　一郎", "ヤマダ　イチロウ", false},
    {"02", "佐々木　恵", "ササキ　メグミ", false},
    {"03", "中村　健太", "ナカムラ　ケンタ", false},
    {"09", "__非常勤医", "ヒジョウキン", true},
};
constexpr SCodeName kStaff[] = {
    {"001", "高橋　美咲", "タカハシ　ミサキ", false}, {"002", "伊藤　由美", "イトウ　ユミ", false},
    {"003", "小川　直子", "オガワ　ナオコ", false},   {"004", "森　彩", "モリ　アヤ", false},
    {"005", "退職者", "タイショクシャ", true},
    {"006", "院内技工 田村", "インナイギコウ タムラ", false},
    {"007", "(株)デンタルラボ東京", "デンタルラボトウキョウ", false},
    {"008", "矯正技工所さくら", "キョウセイギコウジョサクラ", false},
};
// Lab work is made by the in-house technician and the two outside laboratories.
constexpr size_t kFirstLabMaker = 5;
constexpr SCodeName kWays[] = {
    {"001", "電話", "", false},           {"002", "来院時", "", false},
    {"003", "インターネット", "", false}, {"004", "メール", "", false},
    {"005", "紹介", "", false},           {"006", "FAX", "", true},
};
constexpr SCodeName kInsuranceTypes[] = {
    {"01", "自費", "", false},
    {"02", "社保", "", false},
    {"03", "国保", "", false},
};
constexpr SCodeName kCreditCategories[] = {
    {"001", "矯正料金", "", false},
    {"002", "保険診療", "", false},
    {"003", "物販", "", false},
};
struct SCreditItem {
    const char* m_category;
    const char* m_code;
    const char* m_name;
    int32_t m_price;
    bool m_hidden;
};
constexpr SCreditItem kCreditItems[] = {
    {"001", "001", "初診相談料", 3000, false},
    {"001", "002", "精密検査料", 50000, false},
    {"001", "003", "診断料", 30000, false},
    {"001", "004", "矯正装置料", 700000, false},
    {"001", "005", "処置料（調整）", 5000, false},
    {"001", "006", "保定観察料", 3000, false},
    {"002", "001", "保険 初診料", 2820, false},
    {"002", "002", "保険 再診料", 1250, false},
    {"003", "001", "歯ブラシ", 300, false},
    {"003", "002", "矯正用ワックス", 500, false},
    {"003", "009", "旧商品", 0, true},
};
constexpr SCodeName kCancelReasons[] = {
    {"001", "体調不良", "", false}, {"002", "仕事の都合", "", false},
    {"003", "学校行事", "", false}, {"004", "家庭の事情", "", false},
    {"005", "日時変更", "", false}, {"006", "連絡なし", "", false},
};
constexpr SCodeName kTreatmentCategories[] = {
    {"001", "矯正治療", "", false},
    {"002", "検査・診断", "", false},
    {"003", "予防・その他", "", false},
    {"009", "旧分類", "", true},
};
struct STreatmentItem {
    const char* m_category;
    const char* m_code;
    const char* m_text;
};
constexpr STreatmentItem kTreatmentItems[] = {
    {"001", "001", "マルチブラケット装置装着"},
    {"001", "002", "ワイヤー調整"},
    {"001", "003", "装置撤去・リテーナー装着"},
    {"001", "004", "保定観察・リテーナーチェック"},
    {"002", "001", "初診相談・カウンセリング"},
    {"002", "002", "精密検査（セファロ・口腔内写真・模型）"},
    {"002", "003", "診断・治療計画の説明"},
    {"003", "001", "PMTC・ブラッシング指導"},
};
constexpr SCodeName kLabCategories[] = {
    {"0001", "ブラケット関連", "", false}, {"0002", "リテーナー", "", false},
    {"0003", "床・機能装置", "", false},   {"0004", "模型・その他", "", false},
    {"0009", "旧区分", "", true},
};
constexpr SCodeName kLabItems[] = {
    {"0001", "インダイレクトボンディングトレー", "", false},
    {"0001", "カスタムブラケット", "", false},
    {"0002", "ベッグタイプリテーナー", "", false},
    {"0002", "クリアリテーナー", "", false},
    {"0002", "フィックスドリテーナー", "", false},
    {"0003", "急速拡大装置", "", false},
    {"0003", "床矯正装置", "", false},
    {"0003", "咬合挙上板", "", false},
    {"0004", "研究用模型", "", false},
    {"0004", "セットアップモデル", "", false},
    {"0004", "__旧タイプ模型", "", true},
};
constexpr SCodeName kConditions[] = {
    {"01", "良好", "", false},
    {"02", "要経過観察", "", false},
    {"03", "転院", "", false},
};
// Kinds of workplace or school (category kind "3").
constexpr SCodeName kWorkKinds[] = {
    {"01", "小学校", "", false}, {"02", "中学校", "", false}, {"03", "高校", "", false},
    {"04", "大学", "", false},   {"05", "会社", "", false},   {"06", "自営", "", false},
};
// Workplaces and schools by kind, in the order of kWorkKinds.
constexpr std::array<const char*, 6> kWorkplaces{{
    "西新宿小学校",
    "新宿中央中学校",
    "都立新宿高校",
    "早稲田大学",
    "株式会社さくら商事",
    "山田デザイン事務所",
}};
constexpr std::array<const char*, 5> kGuardianJobs{{
    "会社員",
    "公務員",
    "自営業",
    "教員",
    "看護師",
}};
struct SIntroDoctor {
    const char* m_code;
    const char* m_name;
    const char* m_kana;
    const char* m_clinic;
    const char* m_tel;
};
// Dentists and doctors outside the clinic: who referred a patient, and the patient's own
// family dentist.
constexpr SIntroDoctor kIntroDoctors[] = {
    {"001", "山本　博", "ヤマモト　ヒロシ", "山本歯科医院", "03-3300-1111"},
    {"002", "井上　真理", "イノウエ　マリ", "いのうえデンタルクリニック", "03-3300-2222"},
    {"003", "木村　修", "キムラ　オサム", "新宿みなみ歯科", "03-3300-3333"},
    {"004", "林　優子", "ハヤシ　ユウコ", "はやし小児歯科", "03-3300-4444"},
};
// Patient traits (custom table "AB").
constexpr SCodeName kTraits[] = {
    {"0001", "協力的", "", false},         {"0002", "歯科恐怖症あり", "", false},
    {"0003", "嘔吐反射が強い", "", false}, {"0004", "時間に正確", "", false},
    {"0005", "遅刻が多い", "", false},
};
// The free tables the demo clinic uses: the first three are named, the last two left for the
// clinic to name.
constexpr std::array<const char*, 3> kFreeTableNames{{"来院のきっかけ", "通院手段", "矯正装置"}};
struct SFreeEntry {
    int m_table;
    const char* m_code;
    const char* m_name;
};
constexpr SFreeEntry kFreeEntries[] = {
    {0, "0001", "ホームページ"},   {0, "0002", "知人の紹介"},
    {0, "0003", "歯科医院の紹介"}, {0, "0004", "看板・広告"},
    {1, "0001", "電車"},           {1, "0002", "バス"},
    {1, "0003", "自転車"},         {1, "0004", "車"},
    {1, "0005", "徒歩"},           {2, "0001", "表側ブラケット"},
    {2, "0002", "裏側ブラケット"}, {2, "0003", "マウスピース型"},
};

constexpr SCodeName kCaseGroups[] = {
    {"001", "不正咬合", "", false},
    {"002", "顎変形症", "", false},
};
struct SCase {
    const char* m_group;
    const char* m_code;
    const char* m_name;
};
constexpr SCase kCases[] = {
    {"001", "001", "叢生"}, {"001", "002", "上顎前突"},       {"001", "003", "下顎前突"},
    {"001", "004", "開咬"}, {"002", "001", "骨格性下顎前突"},
};

constexpr std::array<const char*, 4> kCancelTexts{{
    "体調不良のため",
    "仕事の都合のため",
    "学校行事のため",
    "家庭の事情のため",
}};
constexpr std::array<const char*, 4> kPatientComments{{
    "金属アレルギーあり",
    "平日夕方の来院希望",
    "兄弟で通院中",
    "紹介：近隣の歯科医院より",
}};
constexpr std::array<const char*, 4> kStandbyMemos{{
    "平日の夕方を希望",
    "土曜午前を希望",
    "キャンセルが出たら電話連絡希望",
    "早めの日程を希望",
}};

template <size_t N>
void Text(char (&field)[N], const char* utf8) {
    SetCp932Field(field, N, QString::fromUtf8(utf8));
}
template <size_t N>
void Text(char (&field)[N], const std::string& utf8) {
    SetCp932Field(field, N, QString::fromStdString(utf8));
}
template <size_t N>
void Ascii(char (&field)[N], const std::string& text) {
    SetField(field, N, text.c_str());
}

std::string Hhmm(int hhmm) {
    char text[8];
    std::snprintf(text, sizeof text, "%04d", hhmm);
    return text;
}

std::string Number(const char* format, long long value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Digits(const std::string& tel) {
    std::string digits;
    for (char c : tel) {
        if (c != '-' && c != ' ') digits += c;
    }
    return digits;
}

// Writes one master table: count records, each filled by fill(index, record), in one
// transaction.
template <typename Table, typename Fill>
int WriteTable(const std::string& folder, size_t count, Fill fill, std::string* failedTable) {
    Table table;
    *failedTable = table.GetFileName();
    int status = table.Open(folder);
    if (status != 0) return status;
    status = CBaseDBCall::BeginTran();
    if (status != 0) return status;
    for (size_t i = 0; i < count; ++i) {
        table.ClearData();
        fill(i, table.m_Data);
        status = table.Insert();
        if (status != 0) {
            CBaseDBCall::AbortTran();
            return status;
        }
    }
    return CBaseDBCall::EndTran();
}

template <size_t N>
void Hidden(char (&mark)[N], bool hidden) {
    SetField(mark, N, hidden ? "__" : "");
}

// The names of the free tables, one line each in code page 932, in the database folder
// where the suite's dialogs look them up.
int WriteFreeTableNames(const std::string& folder, std::string* failedFile) {
    std::string text;
    for (const char* name : kFreeTableNames) {
        text += QStringToCp932(QString::fromUtf8(name)) + "\r\n";
    }
    *failedFile = "freetblname.dat";
    std::string error;
    const std::string path =
        folder + (folder.empty() || folder.back() == '/' ? "" : "/") + *failedFile;
    return WriteFileAtomically(path, text, &error) ? 0 : recman::kIoError;
}

constexpr uint64_t kPatientDetailsSalt = 0xDE7A115;

template <typename T, size_t N>
const T& PickOf(CDemoRandom& random, const T (&items)[N]) {
    return random.Pick(std::span<const T>(items, N));
}

// The school for a pupil's age, else a company or (one in five) self-employed: an index of
// kWorkKinds and kWorkplaces.
size_t WorkKindIndex(CDemoRandom& random, int age) {
    if (age <= 12) return 0;
    if (age <= 15) return 1;
    if (age <= 18) return 2;
    if (age <= 22) return 3;
    return random.Percent(80) ? 4 : 5;
}

// The details the sheet can show beside the basic data: treatment condition, referring and
// family dentists, school or workplace, trait, guardian's occupation and free-table entries.
// They are drawn from a generator of their own, so every other value of the demo stays as
// it was before they were added.
// `age` is the patient's age today.
void FillDemoPatientDetails(CDemoRandom random, int age, bool child, tagPATIENTDB* record) {
    tagPATIENTDB& r = *record;
    // Mostly under way or under observation; a patient who moved away is inactive.
    if (r.InactiveFlag != 0) {
        Ascii(r.ConditionCode, kConditions[2].m_code);
    } else if (random.Percent(85)) {
        Ascii(r.ConditionCode, kConditions[random.Percent(75) ? 0 : 1].m_code);
    }
    if (random.Percent(35)) Ascii(r.IntroDrCode, PickOf(random, kIntroDoctors).m_code);
    if (random.Percent(55)) Ascii(r.FamilyDrCode, PickOf(random, kIntroDoctors).m_code);
    const size_t kind = WorkKindIndex(random, age);
    if (random.Percent(75)) {
        Ascii(r.WorkKindCode, kWorkKinds[kind].m_code);
        Text(r.WorkplaceName, kWorkplaces[kind]);
        if (kind >= 4) Ascii(r.WorkplaceTel, MakeHomeTel(random, "03"));
    }
    if (random.Percent(30)) Ascii(r.TraitCode, PickOf(random, kTraits).m_code);
    if (child && random.Percent(80)) {
        Text(r.GuardianJob, random.Pick(std::span<const char* const>(kGuardianJobs)));
    }
    const int chances[] = {70, 50, 60};
    for (int table = 0; table < static_cast<int>(std::size(chances)); ++table) {
        if (!random.Percent(chances[table])) continue;
        std::vector<const SFreeEntry*> entries;
        for (const SFreeEntry& entry : kFreeEntries) {
            if (entry.m_table == table) entries.push_back(&entry);
        }
        Ascii(r.FreeTblCode[table],
              random.Pick(std::span<const SFreeEntry* const>(entries))->m_code);
    }
}

}  // namespace

int DemoKindSlotCount() { return static_cast<int>(kKindSlots.size()); }

const SDemoKind& DemoKind(int slot) {
    return kKinds[static_cast<size_t>(kKindSlots[static_cast<size_t>(slot)])];
}

const SDemoTemplate& DemoReminderTemplate() { return kTemplate; }

std::vector<QDate> ClinicHolidays(int year) {
    std::vector<QDate> days;
    for (int d = 1; d <= 3; ++d) days.emplace_back(year, 1, d);
    for (int d = 13; d <= 16; ++d) days.emplace_back(year, 8, d);
    for (int d = 29; d <= 31; ++d) days.emplace_back(year, 12, d);
    return days;
}

bool IsClinicHoliday(const QDate& day) {
    const int m = day.month();
    const int d = day.day();
    return (m == 1 && d <= 3) || (m == 8 && d >= 13 && d <= 16) || (m == 12 && d >= 29);
}

VELOOFFICEHOUR DemoOfficeHours() {
    VELOOFFICEHOUR hours{};
    for (int day = 1; day <= 5; ++day) hours.Week[day] = {900, 1300, 1430, 1900};
    hours.Week[6] = {900, 1300, 1400, 1700};
    return hours;
}

std::string Ymd(const QDate& day) {
    return day.isValid() ? day.toString("yyyyMMdd").toStdString() : std::string();
}

std::string DemoPatientId(int index) { return Number("%010lld", index + 1LL); }

std::string DemoChartNo(int index) {
    if ((index + 1) % 50 == 2) return "A" + Number("%04lld", index + 1LL);
    return Number("%05lld", index + 1LL);
}

constexpr size_t kNamedUnits = std::size(kUnits) - 1;  // the last entry is the hidden spare
constexpr int kSpareUnitNumber = 9;

int DemoUnitNumber(int index) {
    const int number = index + 1;
    return number >= kSpareUnitNumber ? number + 1 : number;
}

std::string DemoUnitCode(int index) {
    if (index < 0) return "";
    if (static_cast<size_t>(index) < kNamedUnits) return kUnits[index].m_code;
    return Number("%02lld", DemoUnitNumber(index));
}

// The visible units in order, then the hidden spare chair.
SCodeName DemoUnit(size_t i, int unitCount, std::string* code, std::string* name) {
    const size_t visible = static_cast<size_t>(unitCount);
    if (i >= visible) return kUnits[kNamedUnits];
    if (i < kNamedUnits) return kUnits[i];
    *code = DemoUnitCode(static_cast<int>(i));
    *name = "チェア" + std::to_string(i + 1);
    return {code->c_str(), name->c_str(), "", false};
}
std::string DemoDoctorCode(int index) { return index < 0 ? "" : kDoctors[index].m_code; }

int WriteDemoMasters(const std::string& folder, int unitCount, std::string* failedTable) {
    const size_t units = static_cast<size_t>(unitCount) + 1;
    int status = WriteTable<CCategoryDB>(
        folder, units + kKinds.size() + std::size(kInsuranceTypes) + std::size(kWorkKinds),
        [units, unitCount](size_t i, tagCATEGORYDB& r) {
            if (i < units) {
                std::string code, name;
                const SCodeName unit = DemoUnit(i, unitCount, &code, &name);
                Ascii(r.Type, "1");
                Ascii(r.Code, unit.m_code);
                Text(r.Name, unit.m_name);
                Text(r.ShortName, unit.m_name);
                Hidden(r.HiddenMark, unit.m_hidden);
                return;
            }
            i -= units;
            if (i < kKinds.size()) {
                Ascii(r.Type, "0");
                Ascii(r.Code, kKinds[i].m_typeCode);
                Text(r.Name, kKinds[i].m_typeName);
                Text(r.ShortName, kKinds[i].m_typeName);
                r.Colour = kKinds[i].m_colour;
                r.TextColour = 0x000000;
                return;
            }
            i -= kKinds.size();
            if (i < std::size(kInsuranceTypes)) {
                Ascii(r.Type, "2");
                Ascii(r.Code, kInsuranceTypes[i].m_code);
                Text(r.Name, kInsuranceTypes[i].m_name);
                return;
            }
            i -= std::size(kInsuranceTypes);
            Ascii(r.Type, kWorkKindCategory);
            Ascii(r.Code, kWorkKinds[i].m_code);
            Text(r.Name, kWorkKinds[i].m_name);
        },
        failedTable);
    if (status != 0) return status;
    status = WriteTable<CDoctorDB>(
        folder, std::size(kDoctors),
        [](size_t i, tagDOCTORDB& r) {
            Ascii(r.Code, kDoctors[i].m_code);
            Text(r.Name, kDoctors[i].m_name);
            Text(r.Kana, kDoctors[i].m_kana);
            Hidden(r.HiddenMark, kDoctors[i].m_hidden);
        },
        failedTable);
    if (status != 0) return status;
    status = WriteTable<CStaffDB>(
        folder, std::size(kStaff),
        [](size_t i, tagSTAFFDB& r) {
            Ascii(r.Code, kStaff[i].m_code);
            Text(r.Name, kStaff[i].m_name);
            Text(r.Kana, kStaff[i].m_kana);
            Hidden(r.HiddenMark, kStaff[i].m_hidden);
        },
        failedTable);
    if (status != 0) return status;
    status = WriteTable<CReservationWayDB>(
        folder, std::size(kWays),
        [](size_t i, tagRESERVATIONWAYDB& r) {
            Ascii(r.Code, kWays[i].m_code);
            Text(r.Name, kWays[i].m_name);
            Hidden(r.HiddenMark, kWays[i].m_hidden);
        },
        failedTable);
    if (status != 0) return status;
    status = WriteTable<CCreditCategoryDB>(
        folder, std::size(kCreditCategories),
        [](size_t i, tagCREDITCATEGORYDB& r) {
            Ascii(r.Code, kCreditCategories[i].m_code);
            Text(r.Name, kCreditCategories[i].m_name);
        },
        failedTable);
    if (status != 0) return status;
    status = WriteTable<CCreditItemDB>(
        folder, std::size(kCreditItems),
        [](size_t i, tagCREDITITEMDB& r) {
            Ascii(r.CategoryCode, kCreditItems[i].m_category);
            Ascii(r.ItemCode, kCreditItems[i].m_code);
            Text(r.ItemName, kCreditItems[i].m_name);
            r.Price = kCreditItems[i].m_price;
            Hidden(r.HiddenMark, kCreditItems[i].m_hidden);
        },
        failedTable);
    if (status != 0) return status;
    status = WriteTable<CResReasonDB>(
        folder, std::size(kCancelReasons),
        [](size_t i, tagRESREASONDB& r) {
            Ascii(r.ReasonCode, kCancelReasons[i].m_code);
            Text(r.ReasonName, kCancelReasons[i].m_name);
        },
        failedTable);
    if (status != 0) return status;
    status = WriteTable<CTreatmentCategoryDB>(
        folder, std::size(kTreatmentCategories),
        [](size_t i, tagTREATMENTCATEGORYDB& r) {
            Ascii(r.Code, kTreatmentCategories[i].m_code);
            Text(r.Name, kTreatmentCategories[i].m_name);
            Hidden(r.HiddenMark, kTreatmentCategories[i].m_hidden);
        },
        failedTable);
    if (status != 0) return status;
    status = WriteTable<CTreatmentItemDB>(
        folder, std::size(kTreatmentItems),
        [](size_t i, tagTREATMENTITEMDB& r) {
            Ascii(r.CategoryCode, kTreatmentItems[i].m_category);
            Ascii(r.ItemCode, kTreatmentItems[i].m_code);
            Text(r.Text, kTreatmentItems[i].m_text);
        },
        failedTable);
    if (status != 0) return status;
    status = WriteTable<CMaterialItemCateDB>(
        folder, std::size(kLabCategories),
        [](size_t i, tagMATERIALITEMCATEDB& r) {
            Ascii(r.Code, kLabCategories[i].m_code);
            Text(r.Name, kLabCategories[i].m_name);
            Hidden(r.HiddenMark, kLabCategories[i].m_hidden);
        },
        failedTable);
    if (status != 0) return status;
    status = WriteTable<CMaterialItemDB>(
        folder, std::size(kLabItems),
        [](size_t i, tagMATERIALITEMDB& r) {
            Ascii(r.ItemNo, Number("%010lld", static_cast<long long>(i + 1)));
            Ascii(r.CategoryCode, kLabItems[i].m_code);
            Text(r.Name, kLabItems[i].m_name);
        },
        failedTable);
    if (status != 0) return status;
    // The lab schedule names its staff from the custom table "AA": the same people under
    // the same numbers as the staff master, so the list and the edit dialog agree.
    status = WriteTable<CCustomTblDB>(
        folder, std::size(kStaff),
        [](size_t i, tagCUSTOMTBLDB& r) {
            const std::string code = Number("%04lld", std::atoll(kStaff[i].m_code));
            Ascii(r.TableID, "AA");
            Ascii(r.Code, code);
            Ascii(r.CodeCopy, code);
            Text(r.Name, kStaff[i].m_name);
        },
        failedTable);
    if (status != 0) return status;
    status = WriteTable<CCustomTblDB>(
        folder, std::size(kTraits) + std::size(kFreeEntries),
        [](size_t i, tagCUSTOMTBLDB& r) {
            // The patient traits, then the entries of the free tables.
            std::string table = kPatientTraitTable;
            const char* code = nullptr;
            const char* name = nullptr;
            if (i < std::size(kTraits)) {
                code = kTraits[i].m_code;
                name = kTraits[i].m_name;
            } else {
                const SFreeEntry& entry = kFreeEntries[i - std::size(kTraits)];
                table = FreeTableId(entry.m_table);
                code = entry.m_code;
                name = entry.m_name;
            }
            Ascii(r.TableID, table);
            Ascii(r.Code, code);
            Ascii(r.CodeCopy, code);
            Text(r.Name, name);
        },
        failedTable);
    if (status != 0) return status;
    status = WriteFreeTableNames(folder, failedTable);
    if (status != 0) return status;
    status = WriteTable<CIntroDrDB>(
        folder, std::size(kIntroDoctors),
        [](size_t i, tagINTRODRDB& r) {
            Ascii(r.Code, kIntroDoctors[i].m_code);
            Text(r.Name, kIntroDoctors[i].m_name);
            Text(r.Kana, kIntroDoctors[i].m_kana);
            Text(r.ClinicName, kIntroDoctors[i].m_clinic);
            Ascii(r.Tel, kIntroDoctors[i].m_tel);
        },
        failedTable);
    if (status != 0) return status;
    status = WriteTable<CConditionDB>(
        folder, std::size(kConditions),
        [](size_t i, tagCONDITIONDB& r) {
            Ascii(r.Code, kConditions[i].m_code);
            Text(r.Name, kConditions[i].m_name);
        },
        failedTable);
    if (status != 0) return status;
    status = WriteTable<CCasePaDB>(
        folder, std::size(kCaseGroups),
        [](size_t i, tagCASEPADB& r) {
            Ascii(r.Code, kCaseGroups[i].m_code);
            Text(r.Name, kCaseGroups[i].m_name);
        },
        failedTable);
    if (status != 0) return status;
    status = WriteTable<CCaseDB>(
        folder, std::size(kCases),
        [](size_t i, tagCASEDB& r) {
            Ascii(r.GroupCode, kCases[i].m_group);
            Ascii(r.Code, kCases[i].m_code);
            Text(r.Name, kCases[i].m_name);
        },
        failedTable);
    if (status != 0) return status;
    return WriteTable<COwnerDB>(
        folder, 1,
        [](size_t, tagOWNERDB& r) {
            Ascii(r.OwnerNo, "001");
            Text(r.ClinicName, kDemoClinicName);
            Text(r.ClinicKana, "サクラキョウセイシカクリニック");
            Text(r.DirectorName, kDoctors[0].m_name);
            Ascii(r.ZipCode, "160-0023");
            Text(r.Address1, "東京都新宿区西新宿1-2-3");
            Text(r.Address2, "さくらビル2F");
            Ascii(r.Tel, kDemoClinicTel);
            Ascii(r.Fax, "03-1234-5679");
            Ascii(r.Email, "info@example.jp");
        },
        failedTable);
}

void FillDemoPatient(CDemoRandom& random, int index, const QDate& today,
                     const QDate& firstReservation, const QDate& lastCame, bool mayBeInactive,
                     tagPATIENTDB* record) {
    std::memset(record, 0, sizeof *record);
    tagPATIENTDB& r = *record;
    const std::string id = DemoPatientId(index);
    Ascii(r.PatientID, id);
    Ascii(r.Patient2ID, id);

    const SDemoPerson person = MakePerson(random);
    const bool child = random.Percent(60);
    Text(r.Name, person.m_name);
    Text(r.Kana, person.m_kana);
    Ascii(r.Sex, person.m_male ? "1" : "2");
    QDate first = today.addDays(-random.Range(30, 1500));
    if (firstReservation.isValid() && firstReservation <= today) {
        first = random.Percent(10) ? firstReservation
                                   : firstReservation.addDays(-random.Range(30, 1200));
    }
    // The age is the age at the first visit, so a book that reaches far back still has
    // its patients born before they came.
    const int age = child ? random.Range(6, 15) : random.Range(16, 55);
    Ascii(r.BirthDate, Ymd(first.addYears(-age).addDays(-random.Range(0, 364))));
    Ascii(r.FirstVisitDate, Ymd(first));
    Ascii(r.EntryDate, Ymd(first));
    Ascii(r.LastVisitDate, Ymd(lastCame.isValid() ? lastCame : first));
    Ascii(r.DoctorCode, DemoDoctorCode(random.Range(0, kDemoDoctorCount - 1)));
    r.InactiveFlag = mayBeInactive && random.Percent(10) ? 1 : 0;
    Ascii(r.ChartNo, DemoChartNo(index));

    const SDemoAddress address = MakeAddress(random);
    if (random.Percent(70)) {
        const std::string tel = MakeHomeTel(random, address.m_areaCode);
        Ascii(r.HomeTel, tel);
        Ascii(r.HomeTelDigits, Digits(tel));
    }
    if (random.Percent(85)) {
        const std::string tel = MakeMobileTel(random);
        Ascii(r.MobileTel, tel);
        Ascii(r.MobileTelDigits, Digits(tel));
    }
    if (child) {
        // A parent of the same family.
        const SDemoPerson parent = MakePerson(random, random.Percent(30));
        const std::string separator = "　";
        const std::string family = person.m_name.substr(0, person.m_name.find(separator));
        const std::string familyKana = person.m_kana.substr(0, person.m_kana.find(separator));
        const std::string given = parent.m_name.substr(parent.m_name.find(separator));
        const std::string givenKana = parent.m_kana.substr(parent.m_kana.find(separator));
        Text(r.GuardianName, family + given);
        Text(r.GuardianKana, familyKana + givenKana);
    }
    Ascii(r.ZipCode, address.m_zipCode);
    Text(r.Address1, address.m_address1);
    Text(r.Address2, address.m_address2);
    if (random.Percent(15)) {
        Text(r.Comment, random.Pick(std::span<const char* const>(kPatientComments)));
    }
    if (random.Percent(45)) Ascii(r.Email, MakeMailAddress(random, person));

    if (random.Percent(5)) Ascii(r.OtherTel, MakeMobileTel(random));
    const int ageToday = age + static_cast<int>(first.daysTo(today) / 365);
    FillDemoPatientDetails(random.Fork(kPatientDetailsSalt), ageToday, child, &r);
    Ascii(r.InsuranceType, "01");
    if (random.Percent(20)) {
        Text(r.NextVisitContent, "ワイヤー調整");
        Ascii(r.NextVisitDate, Ymd(today.addDays(random.Range(7, 60))));
        Ascii(r.NextFeeItemCode, "005");
        Ascii(r.NextFeeCateCode, "001");
        r.NextIntervalUnit = 1;
        r.NextInterval = 4;
        r.NextDuration = 30;
        r.NextFee = 5000;
    }
}

void FillDemoMaterial(CDemoRandom& random, const char* materialNo, const QDate& ordered,
                      const QDate& due, bool finished, int patient, const SDemoKind& kind,
                      tagMATERIALDB* record) {
    std::memset(record, 0, sizeof *record);
    tagMATERIALDB& r = *record;
    Ascii(r.MaterialNo, materialNo);
    Ascii(r.CompletionDate, Ymd(due));
    r.DueKind = static_cast<uint8_t>(random.Range(0, 2));
    Ascii(r.DueTime, r.DueKind == 2 ? Hhmm(random.Percent(50) ? 1000 : 1530) : "0000");
    if (finished) Ascii(r.FinishedDate, Ymd(due));
    Ascii(r.PatientID, DemoPatientId(patient));
    Ascii(r.StaffCode, kStaff[kFirstLabMaker + random.Range(0, 2)].m_code);
    Text(r.ItemName, kind.m_labItem);
    if (random.Percent(25)) Text(r.Memo, "至急　装着日に間に合わせること");
    Ascii(r.OrderDate, Ymd(ordered));
    Ascii(r.CategoryCode, kind.m_labCategory);
}

void FillDemoReservation(CDemoRandom& random, long long number, const SPlannedReservation& r,
                         const SPlannedReservation* replacement, const QDate& today,
                         const std::string& materialNo, bool patientHasMail, tagRESERVATIONDB* record) {
    std::memset(record, 0, sizeof *record);
    tagRESERVATIONDB& out = *record;
    Ascii(out.ReservationNo, Number("%010lld", number));
    Ascii(out.ResDate, Ymd(r.m_date));
    Ascii(out.StartTime, Hhmm(r.m_start));
    Ascii(out.EndTime, Hhmm(r.m_end));
    Ascii(out.UnitCode, DemoUnitCode(r.m_unit));
    Ascii(out.DoctorCode, DemoDoctorCode(r.m_doctor));
    QDate entry = r.m_date.addDays(-random.Range(1, 45));
    if (entry > today) entry = today;
    Ascii(out.EntryDate, Ymd(entry));
    out.Status = static_cast<uint8_t>(r.m_status);

    if (r.m_patient < 0) {
        // Blocked time: no patient, no staff and no reservation way.
        Text(out.Treatment, r.m_unit >= 0 ? "チェア点検・メンテナンス" : "学会出席のため不在");
        Ascii(out.StaffCode, "000");
        Ascii(out.ResWayCode, "000");
        return;
    }
    const SDemoKind& kind = DemoKind(r.m_kind);
    Ascii(out.PatientID, DemoPatientId(r.m_patient));
    Ascii(out.ResTypeCode, kind.m_typeCode);
    Text(out.Treatment, kind.m_treatment);
    Ascii(out.StaffCode, Number("%03lld", random.Range(1, 4)));
    Ascii(out.ResWayCode, Number("%03lld", random.Range(1, 5)));
    Ascii(out.MaterialNo, materialNo);
    if (r.m_statusDate.isValid()) Ascii(out.StatusDate, Ymd(r.m_statusDate));
    switch (r.m_status) {
        case kResCancelledWithNotice:
            Text(out.StatusReason, random.Pick(std::span<const char* const>(kCancelTexts)));
            break;
        case kResCancelledLastMinute:
            Text(out.StatusReason, "当日連絡：急用のため");
            break;
        case kResRevoked:
            Text(out.StatusReason, "患者都合により取消");
            break;
        case kResChanged:
            if (replacement != nullptr) {
                char reason[96];
                std::snprintf(reason, sizeof reason, "日時変更：%s %02d:%02d へ",
                              replacement->m_date.toString("yyyy/MM/dd").toUtf8().constData(),
                              replacement->m_start / 100, replacement->m_start % 100);
                Text(out.StatusReason, reason);
            }
            break;
        default:
            break;
    }
    // Reminders already given for the next few days.
    const qint64 ahead = today.daysTo(r.m_date);
    if (r.m_status == kResBooked && ahead >= 0 && ahead <= 3 && random.Percent(60)) {
        const bool byMail = random.Percent(50) && patientHasMail;
        out.ContactMethod = byMail ? 1 : 0;
        out.ContactStatus = 2;
        Text(out.ContactComment, "予約確認済み");
        Ascii(out.ContactDate, Ymd(today.addDays(-random.Range(0, 1))));
    }
}

void FillDemoStandby(CDemoRandom& random, int number, int patient, const QDate& today,
                     const SPlannedReservation* booked, long long reservationNo,
                     tagRESERVATIONSTANDBYDB* record) {
    std::memset(record, 0, sizeof *record);
    tagRESERVATIONSTANDBYDB& r = *record;
    Ascii(r.StandbyNo, Number("%010lld", number));
    Ascii(r.PatientID, DemoPatientId(patient));
    QDate from = today.addDays(random.Range(1, 20));
    QDate to = from.addDays(random.Range(0, 14));
    if (booked != nullptr) {
        from = booked->m_date.addDays(-random.Range(3, 10));
        if (from <= today) from = today.addDays(1);
        to = booked->m_date.addDays(3);
        Ascii(r.ReservationNo, Number("%010lld", reservationNo));
    }
    Ascii(r.DateFrom, Ymd(from));
    Ascii(r.DateTo, Ymd(to));
    static constexpr std::array<std::pair<int, int>, 3> kTimes{
        {{900, 1300}, {1430, 1900}, {1600, 1900}}};
    const auto& time = kTimes[static_cast<size_t>(random.Range(0, 2))];
    Ascii(r.TimeFrom, Hhmm(time.first));
    Ascii(r.TimeTo, Hhmm(time.second));
    Text(r.Memo, random.Pick(std::span<const char* const>(kStandbyMemos)));
}

std::vector<std::pair<QDate, std::string>> DemoCalendarNotes(const QDate& today) {
    return {
        {today.addDays(-5), "レントゲン装置 定期点検"},
        {today, "院内ミーティング\n13:15から休憩室にて"},
        {today.addDays(2), "技工所 集荷日"},
        {today.addDays(9), "院長 学会出席（午後休診）"},
        {QDate(today.year(), 8, 13), "夏季休診\n8/13〜8/16"},
        {QDate(today.year(), 12, 29), "年末年始休診"},
    };
}

}  // namespace velodb
