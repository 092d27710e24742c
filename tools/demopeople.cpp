// Name, address and telephone tables of the demo data and the functions that combine
// them into people.
#include "demopeople.h"

#include <array>
#include <cstdio>

namespace velodb {
namespace {

struct SNamePart {
    const char* m_kanji;
    const char* m_kana;
    const char* m_romaji;
};

constexpr std::array<SNamePart, 48> kFamilyNames{{
    {"佐藤", "サトウ", "sato"},
    {"鈴木", "スズキ", "suzuki"},
    {"高橋", "タカハシ", "takahashi"},
    {"田中", "タナカ", "tanaka"},
    {"伊藤", "イトウ", "ito"},
    {"渡辺", "ワタナベ", "watanabe"},
    {"山本", "ヤマモト", "yamamoto"},
    {"中村", "ナカムラ", "nakamura"},
    {"小林", "コバヤシ", "kobayashi"},
    {"加藤", "カトウ", "kato"},
    {"吉田", "ヨシダ", "yoshida"},
    {"山田", "ヤマダ", "yamada"},
    {"佐々木", "ササキ", "sasaki"},
    {"山口", "ヤマグチ", "yamaguchi"},
    {"松本", "マツモト", "matsumoto"},
    {"井上", "イノウエ", "inoue"},
    {"木村", "キムラ", "kimura"},
    {"林", "ハヤシ", "hayashi"},
    {"斎藤", "サイトウ", "saito"},
    {"清水", "シミズ", "shimizu"},
    {"山崎", "ヤマザキ", "yamazaki"},
    {"森", "モリ", "mori"},
    {"池田", "イケダ", "ikeda"},
    {"橋本", "ハシモト", "hashimoto"},
    {"阿部", "アベ", "abe"},
    {"石川", "イシカワ", "ishikawa"},
    {"山下", "ヤマシタ", "yamashita"},
    {"中島", "ナカジマ", "nakajima"},
    {"石井", "イシイ", "ishii"},
    {"小川", "オガワ", "ogawa"},
    {"前田", "マエダ", "maeda"},
    {"岡田", "オカダ", "okada"},
    {"長谷川", "ハセガワ", "hasegawa"},
    {"藤田", "フジタ", "fujita"},
    {"後藤", "ゴトウ", "goto"},
    {"近藤", "コンドウ", "kondo"},
    {"村上", "ムラカミ", "murakami"},
    {"遠藤", "エンドウ", "endo"},
    {"青木", "アオキ", "aoki"},
    {"坂本", "サカモト", "sakamoto"},
    {"斉藤", "サイトウ", "saito"},
    {"福田", "フクダ", "fukuda"},
    {"太田", "オオタ", "ota"},
    {"西村", "ニシムラ", "nishimura"},
    {"藤井", "フジイ", "fujii"},
    {"髙橋", "タカハシ", "takahashi"},
    {"岡本", "オカモト", "okamoto"},
    {"中野", "ナカノ", "nakano"},
}};

constexpr std::array<SNamePart, 30> kMaleNames{{
    {"翔太", "ショウタ", "shota"},  {"大輔", "ダイスケ", "daisuke"},
    {"健太", "ケンタ", "kenta"},    {"拓也", "タクヤ", "takuya"},
    {"大樹", "ダイキ", "daiki"},    {"直樹", "ナオキ", "naoki"},
    {"和也", "カズヤ", "kazuya"},   {"亮", "リョウ", "ryo"},
    {"誠", "マコト", "makoto"},     {"浩二", "コウジ", "koji"},
    {"隆", "タカシ", "takashi"},    {"悠真", "ユウマ", "yuma"},
    {"蓮", "レン", "ren"},          {"陽翔", "ハルト", "haruto"},
    {"湊", "ミナト", "minato"},     {"颯太", "ソウタ", "sota"},
    {"悠斗", "ユウト", "yuto"},     {"大翔", "ヒロト", "hiroto"},
    {"陸", "リク", "riku"},         {"樹", "イツキ", "itsuki"},
    {"一郎", "イチロウ", "ichiro"}, {"健一", "ケンイチ", "kenichi"},
    {"修", "オサム", "osamu"},      {"博之", "ヒロユキ", "hiroyuki"},
    {"雄太", "ユウタ", "yuta"},     {"奏太", "カナタ", "kanata"},
    {"智也", "トモヤ", "tomoya"},   {"圭", "ケイ", "kei"},
    {"達也", "タツヤ", "tatsuya"},  {"光", "ヒカル", "hikaru"},
}};

constexpr std::array<SNamePart, 30> kFemaleNames{{
    {"花子", "ハナコ", "hanako"},   {"陽菜", "ヒナ", "hina"},       {"結衣", "ユイ", "yui"},
    {"美咲", "ミサキ", "misaki"},   {"さくら", "サクラ", "sakura"}, {"葵", "アオイ", "aoi"},
    {"凛", "リン", "rin"},          {"結菜", "ユイナ", "yuina"},    {"芽依", "メイ", "mei"},
    {"莉子", "リコ", "riko"},       {"愛", "アイ", "ai"},           {"彩", "アヤ", "aya"},
    {"恵子", "ケイコ", "keiko"},    {"由美", "ユミ", "yumi"},       {"真由美", "マユミ", "mayumi"},
    {"久美子", "クミコ", "kumiko"}, {"明美", "アケミ", "akemi"},    {"直子", "ナオコ", "naoko"},
    {"智子", "トモコ", "tomoko"},   {"優子", "ユウコ", "yuko"},     {"千尋", "チヒロ", "chihiro"},
    {"杏", "アン", "an"},           {"紬", "ツムギ", "tsumugi"},    {"心春", "コハル", "koharu"},
    {"美羽", "ミウ", "miu"},        {"舞", "マイ", "mai"},          {"香織", "カオリ", "kaori"},
    {"瞳", "ヒトミ", "hitomi"},     {"理恵", "リエ", "rie"},        {"﨑子", "サキコ", "sakiko"},
}};

struct STown {
    const char* m_town;
    const char* m_zip;
    const char* m_areaCode;
};

constexpr std::array<STown, 20> kTowns{{
    {"東京都新宿区西新宿", "160-0023", "03"},
    {"東京都新宿区高田馬場", "169-0075", "03"},
    {"東京都渋谷区恵比寿", "150-0013", "03"},
    {"東京都世田谷区三軒茶屋", "154-0024", "03"},
    {"東京都世田谷区成城", "157-0066", "03"},
    {"東京都杉並区阿佐谷南", "166-0004", "03"},
    {"東京都中野区中野", "164-0001", "03"},
    {"東京都練馬区石神井町", "177-0041", "03"},
    {"東京都目黒区自由が丘", "152-0035", "03"},
    {"東京都品川区大井", "140-0014", "03"},
    {"東京都武蔵野市吉祥寺本町", "180-0004", "0422"},
    {"東京都三鷹市下連雀", "181-0013", "0422"},
    {"東京都調布市布田", "182-0024", "042"},
    {"神奈川県横浜市青葉区美しが丘", "225-0002", "045"},
    {"神奈川県横浜市港北区日吉", "223-0061", "045"},
    {"神奈川県川崎市中原区小杉町", "211-0063", "044"},
    {"埼玉県さいたま市浦和区高砂", "330-0063", "048"},
    {"埼玉県和光市本町", "351-0114", "048"},
    {"千葉県船橋市本町", "273-0005", "047"},
    {"千葉県市川市八幡", "272-0021", "047"},
}};

constexpr std::array<const char*, 12> kBuildings{{
    "グリーンハイツ",
    "メゾン若葉",
    "サンライズマンション",
    "コーポ桜",
    "パークサイド栄",
    "ハイム青山",
    "レジデンス緑ヶ丘",
    "ヴィラ光が丘",
    "第２朝日荘",
    "シティコート",
    "ロイヤルパレス",
    "エクセル南",
}};

constexpr std::array<const char*, 6> kMailDomains{{
    "example.jp",
    "example.ne.jp",
    "example.co.jp",
    "example.com",
    "example.net",
    "example.org",
}};

std::string Digits(CDemoRandom& random, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += static_cast<char>('0' + random.Range(0, 9));
    return text;
}

}  // namespace

SDemoPerson MakePerson(CDemoRandom& random, bool male) {
    const SNamePart& family = random.Pick(std::span<const SNamePart>(kFamilyNames));
    const SNamePart& given = male ? random.Pick(std::span<const SNamePart>(kMaleNames))
                                  : random.Pick(std::span<const SNamePart>(kFemaleNames));
    SDemoPerson person;
    person.m_name = std::string(family.m_kanji) + "　" + given.m_kanji;
    person.m_kana = std::string(family.m_kana) + "　" + given.m_kana;
    person.m_romaji = std::string(given.m_romaji) + "." + family.m_romaji;
    person.m_male = male;
    return person;
}

SDemoPerson MakePerson(CDemoRandom& random) { return MakePerson(random, random.Percent(45)); }

SDemoAddress MakeAddress(CDemoRandom& random) {
    const STown& town = random.Pick(std::span<const STown>(kTowns));
    SDemoAddress address;
    address.m_zipCode = town.m_zip;
    address.m_areaCode = town.m_areaCode;
    address.m_address1 = std::string(town.m_town) + std::to_string(random.Range(1, 5)) + "-" +
                         std::to_string(random.Range(1, 30)) + "-" +
                         std::to_string(random.Range(1, 20));
    if (random.Percent(40)) {
        address.m_address2 = std::string(random.Pick(std::span<const char* const>(kBuildings))) +
                             std::to_string(random.Range(1, 8)) + "0" +
                             std::to_string(random.Range(1, 9));
    }
    return address;
}

std::string MakeHomeTel(CDemoRandom& random, const std::string& areaCode) {
    // Japanese fixed-line numbers have ten digits in all: a longer area code leaves a
    // shorter exchange.
    const int exchangeDigits = 6 - static_cast<int>(areaCode.size());
    return areaCode + "-" + Digits(random, exchangeDigits) + "-" + Digits(random, 4);
}

std::string MakeMobileTel(CDemoRandom& random) {
    static constexpr std::array<const char*, 3> kPrefixes{{"090", "080", "070"}};
    return std::string(random.Pick(std::span<const char* const>(kPrefixes))) + "-" +
           Digits(random, 4) + "-" + Digits(random, 4);
}

std::string MakeMailAddress(CDemoRandom& random, const SDemoPerson& person) {
    std::string local = person.m_romaji;
    if (random.Percent(50)) local += std::to_string(random.Range(1, 99));
    return local + "@" + random.Pick(std::span<const char* const>(kMailDomains));
}

}  // namespace velodb
