// Made-up people for the demo clinic: Japanese family and given names with their
// katakana readings, addresses with postal codes, telephone numbers and mail
// addresses. Texts are UTF-8; the caller converts them where they meet a record.
// Mail addresses use reserved example domains so a demo reminder run cannot reach
// a real person.
#pragma once

#include <string>

#include "demorandom.h"

namespace velodb {

struct SDemoPerson {
    std::string m_name;    // family and given name in kanji, "佐藤　花子"
    std::string m_kana;    // reading in full-width katakana, "サトウ　ハナコ"
    std::string m_romaji;  // "hanako.sato", the local part of a mail address
    bool m_male = false;
};

struct SDemoAddress {
    std::string m_zipCode;   // "160-0023"
    std::string m_address1;  // prefecture, city, town and block numbers
    std::string m_address2;  // building and room, often empty
    std::string m_areaCode;  // telephone area code of the town, "03"
};

// A person of the given sex; family names are shared by both sexes.
SDemoPerson MakePerson(CDemoRandom& random, bool male);

// A person with a random sex.
SDemoPerson MakePerson(CDemoRandom& random);

SDemoAddress MakeAddress(CDemoRandom& random);

// A fixed-line number in the area ("03-1234-5678", "045-123-4567").
std::string MakeHomeTel(CDemoRandom& random, const std::string& areaCode);

// A mobile number ("090-1234-5678").
std::string MakeMobileTel(CDemoRandom& random);

// A mail address under a reserved example domain.
std::string MakeMailAddress(CDemoRandom& random, const SDemoPerson& person);

}  // namespace velodb
