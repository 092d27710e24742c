// The patient screen's content: the main fields of one patient record as label and text
// pairs, with the doctor and insurance codes resolved to their names and the age worked out
// for a given day. Kept apart from the dialog so that it can be checked without a window.
#pragma once

#include <QString>
#include <string>
#include <vector>

class CVeloDBSys;

// One line of the patient screen.
struct CPatientField {
    QString label;  // "氏名", "生年月日", ...
    QString value;  // "" when the record leaves the field empty
};

// Fills *fields with the patient's main fields in screen order: 患者ID (the chart number),
// 登録番号, 氏名, フリガナ, 性別, 生年月日, 年齢 (on `today`, "YYYYMMDD"), 初診日, 最終来院日,
// 担当医, 自宅電話, 携帯電話, その他電話, 郵便番号, 住所, メール, 保険種別.
// Returns 0, recman::kKeyNotFound (4) when there is no such patient, or the record
// manager's status when a file cannot be read; *fields is left empty on failure.
int LoadPatientFields(CVeloDBSys* db, const char* patientId, const std::string& today,
                      std::vector<CPatientField>* fields);
