// Building the cephalometric product's demo database.
#include "xylodemo.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QPainter>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "demodata.h"
#include "demopeople.h"
#include "demorandom.h"
#include "suite/dbcall/casedb.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/xylodb.h"
#include "suite/text/atomicfile.h"
#include "suite/text/cp932.h"
#include "suite/text/globalsettings.h"
#include "suite/text/privatefiles.h"
#include "velodb.h"

namespace velodb {
namespace {

namespace fs = std::filesystem;

// Practice patients the product also knows (by index); the second one's ID is written in
// lower case on this side.
constexpr std::array<int, 6> kSharedPatients{{0, 1, 2, 3, 4, 5}};
constexpr int kLowerCaseShared = 1;
constexpr int kNewPatients = 5;

constexpr std::array<const char*, 4> kPhotoTitles{{
    "側面セファロ",
    "正面セファロ",
    "口腔内写真 正面",
    "顔貌写真 側面",
}};

std::string Id10(long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "%010lld", value);
    return text;
}

template <size_t N>
void Ascii(char (&field)[N], const std::string& text) {
    SetField(field, N, text.c_str());
}
template <size_t N>
void Text(char (&field)[N], const char* utf8) {
    SetCp932Field(field, N, QString::fromUtf8(utf8));
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

class CXyloBuilder {
public:
    CXyloBuilder(const SXyloInput& input, std::string* error)
        : m_input(input), m_error(error), m_random(input.m_seed ^ 0xC0FFEE) {}

    bool Run(int* patients) {
        if (!CreateDatabase(m_input.m_folder, m_input.m_force, m_error)) return false;
        const bool ok = WriteSettings() && WritePatients() && WriteMasters();
        CGlobalSettings::SetDatabaseFolder(m_input.m_practiceFolder);
        *patients = m_patientCount;
        return ok;
    }

private:
    bool Fail(const std::string& what, int status) {
        *m_error = "cephalometric database: " + what + " failed (record manager status " +
                   std::to_string(status) + ")";
        return false;
    }

    bool WriteSettings() {
        // The database now holds the product's data; the merger reads the same keys.
        if (!CGlobalSettings::SetString("GLOBAL", "VERSION", "1.1.0.0") ||
            !CGlobalSettings::SetString("GLOBAL", "ClinicName",
                                        QString::fromUtf8(kDemoClinicName))) {
            *m_error = "cannot write " + CGlobalSettings::SettingsPath();
            return false;
        }
        return true;
    }

    // Writes one record of a table whose records begin with PatientID and RecordNo.
    template <typename Table, typename Fill>
    bool InsertRecord(const std::string& patientId, long long recordNo, Fill fill) {
        Table table;
        int status = table.Open(m_input.m_folder);
        if (status != 0) return Fail("opening " + table.GetFileName(), status);
        table.ClearData();
        Ascii(table.m_Data.PatientID, patientId);
        Ascii(table.m_Data.RecordNo, Id10(recordNo));
        fill(table.m_Data);
        status = table.Insert();
        return status == 0 || Fail("adding to " + table.GetFileName(), status);
    }

    template <typename Table>
    bool InsertPlain(const std::string& patientId, long long recordNo) {
        return InsertRecord<Table>(patientId, recordNo, [](auto&) {});
    }

    bool WritePatients() {
        CPatient1DB practice;
        int status = practice.Open(m_input.m_practiceFolder);
        if (status != 0) return Fail("opening the practice's PATIENT1.BTR", status);
        CPatientDB patients;
        status = patients.Open(m_input.m_folder);
        if (status != 0) return Fail("opening PATIENT1.BTR", status);

        long long next = 0;
        std::string firstSharedChart;
        for (int index : kSharedPatients) {
            if (practice.GetPatient1Data(DemoPatientId(index).c_str()) != 0) continue;
            patients.ClearData();
            std::memcpy(&patients.m_Data, &practice.m_Data, sizeof practice.m_Data);
            std::string chart(practice.m_Data.ChartNo);
            if (index == kLowerCaseShared) chart = Lower(chart);
            if (firstSharedChart.empty()) firstSharedChart = chart;
            if (!AddPatient(&patients, ++next, chart)) return false;
        }
        for (int i = 0; i < kNewPatients; ++i) {
            FillNewPatient(&patients.m_Data, i);
            // One patient without an ID: the merger always adds such a patient anew.
            const std::string chart = i == 0 ? "" : "X" + Id10(9000 + i).substr(6);
            if (!AddPatient(&patients, ++next, chart)) return false;
        }
        // A second record under an ID the product already uses for another patient.
        if (!firstSharedChart.empty()) {
            FillNewPatient(&patients.m_Data, kNewPatients);
            if (!AddPatient(&patients, ++next, firstSharedChart)) return false;
        }
        m_patientCount = static_cast<int>(next);
        return true;
    }

    void FillNewPatient(tagPATIENTDB* record, int i) {
        std::memset(record, 0, sizeof *record);
        const SDemoPerson person = MakePerson(m_random);
        SetCp932Field(record->Name, sizeof record->Name, QString::fromStdString(person.m_name));
        SetCp932Field(record->Kana, sizeof record->Kana, QString::fromStdString(person.m_kana));
        Ascii(record->Sex, person.m_male ? "1" : "2");
        Ascii(record->BirthDate, Ymd(m_input.m_today.addYears(-10 - i).addDays(-37 * i)));
        Ascii(record->FirstVisitDate, Ymd(m_input.m_today.addDays(-400 + 20 * i)));
        Text(record->Comment, "セファロ分析のみ");
    }

    // Inserts the patient under a new identifier with the given ID and writes its records
    // and media files.
    bool AddPatient(CPatientDB* patients, long long number, const std::string& chartNo) {
        const std::string id = Id10(number);
        Ascii(patients->m_Data.PatientID, id);
        Ascii(patients->m_Data.Patient2ID, id);
        Ascii(patients->m_Data.ChartNo, chartNo);
        patients->m_Data.InactiveFlag = 0;
        const int status = patients->Insert();
        if (status != 0) return Fail("adding patient " + id, status);
        return WriteAnalyses(id) && WriteMedia(id, number);
    }

    bool WriteAnalyses(const std::string& id) {
        const int count = m_random.Range(1, 3);
        for (long long n = 1; n <= count; ++n) {
            const std::string photo = Id10(n);
            if (!InsertRecord<CLasDB>(id, n, [](auto&) {}) ||
                !InsertRecord<CCasMasDB>(id, n, [&](auto& r) { Ascii(r.PhotoNo, photo); }) ||
                !InsertRecord<CPointLatDB>(id, n, [&](auto& r) { Ascii(r.PhotoNo, photo); }) ||
                !InsertRecord<CPointPaDB>(id, n, [&](auto& r) { Ascii(r.PhotoNo, photo); }) ||
                !InsertRecord<CCvbaDB>(id, n, [&](auto& r) { Ascii(r.PhotoNo, photo); }) ||
                !InsertRecord<CMvtoDB>(id, n, [&](auto& r) { Ascii(r.AnalysisNo, photo); }) ||
                !InsertPlain<CChevronDB>(id, n) || !InsertPlain<CAddLatDB>(id, n) ||
                !InsertPlain<CPileLatDB>(id, n)) {
                return false;
            }
        }
        if (m_random.Percent(50)) {
            if (!InsertPlain<CPilePaDB>(id, 1) || !InsertPlain<CSpPointDB>(id, 1) ||
                !InsertPlain<CSpPointPDB>(id, 1) || !InsertPlain<CMoexDB>(id, 1) ||
                !InsertRecord<CPointMoDB>(id, 1, [](auto& r) { Ascii(r.PhotoNo, Id10(1)); }) ||
                !InsertPlain<CPointMo2DB>(id, 1)) {
                return false;
            }
        }
        if (m_random.Percent(30)) {
            if (!InsertRecord<CSurgeryDB>(id, 1, [](auto& r) { Ascii(r.SurgeryNo, Id10(1)); }) ||
                !InsertRecord<CSurgeryTreatmentDB>(id, 1, [](auto& r) {
                    Ascii(r.SurgeryNo, Id10(1));
                    Ascii(r.StepNo, "0001");
                })) {
                return false;
            }
        }
        CCaseRegDB cases;
        return Insert(cases, [&](tagCASEREGDB& r) {
            Ascii(r.PatientID, id);
            Ascii(r.GroupCode, "001");
            Ascii(r.Code, Id10(m_random.Range(1, 4)).substr(7));
        });
    }

    bool WriteMedia(const std::string& id, long long number) {
        const fs::path photoFolder = fs::path(m_input.m_folder) / kXyloPhotoFolder / id;
        // The patient's main image.
        if (!WriteJpeg(photoFolder / (Id10(0) + ".jpg"), number, 0)) return false;
        const int photos = m_random.Range(2, 4);
        for (int n = 1; n <= photos; ++n) {
            const QDate taken = m_input.m_today.addDays(-m_random.Range(10, 600));
            if (!InsertRecord<CPhotoDB>(id, n, [&](auto& r) {
                    Ascii(r.PhotoDate, Ymd(taken));
                    Text(r.Title, kPhotoTitles[static_cast<size_t>(n - 1) % kPhotoTitles.size()]);
                    r.MediaType = 0;
                })) {
                return false;
            }
            if (!WriteJpeg(photoFolder / (Id10(n) + ".jpg"), number, n)) return false;
        }
        if (number % 3 == 1) {
            const fs::path path =
                fs::path(m_input.m_folder) / kXyloReportFolder / id / (Id10(1) + ".xyr");
            if (!InsertRecord<CReportDB>(id, 1,
                                         [&](auto& r) {
                                             Ascii(r.ReportDate, Ymd(m_input.m_today.addDays(-30)));
                                             Text(r.Title, "分析結果報告書");
                                         }) ||
                !WriteSmallFile(path, "XYR report\r\npatient " + id + "\r\n")) {
                return false;
            }
        }
        if (number % 4 == 2) {
            const fs::path path =
                fs::path(m_input.m_folder) / kXyloSlideshowFolder / id / (Id10(1) + ".sld");
            if (!InsertRecord<CSlideShowDB>(id, 1,
                                            [&](auto& r) {
                                                Ascii(r.SlideDate,
                                                      Ymd(m_input.m_today.addDays(-15)));
                                                Text(r.Title, "治療経過スライド");
                                            }) ||
                !WriteSmallFile(path, "SLD slideshow\r\n" + Id10(1) + ".jpg\r\n")) {
                return false;
            }
        }
        return true;
    }

    // A small real JPEG picture: a head outline on a coloured ground, different per patient
    // and photo so that copies can be told apart.
    bool WriteJpeg(const fs::path& path, long long patient, int photo) {
        if (!MakeFolderOf(path)) return false;
        QImage image(160, 120, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(static_cast<int>((patient * 47 + photo * 13) % 360), 60, 230));
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(Qt::darkGray, 3));
            painter.setBrush(QColor(250, 235, 215));
            painter.drawEllipse(QPointF(80, 60), 32 + photo * 2, 42);
            painter.setBrush(Qt::darkGray);
            painter.drawEllipse(QPointF(68, 52), 4, 4);
            painter.drawEllipse(QPointF(92, 52), 4, 4);
            painter.drawArc(QRectF(66, 66, 28, 14), 200 * 16, 140 * 16);
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "JPG", 85)) {
            *m_error = "cannot encode the picture " + path.string() + " as JPEG";
            return false;
        }
        std::string error;
        if (!WriteFileAtomically(path.string(), std::string_view(bytes.constData(), bytes.size()),
                                 &error)) {
            *m_error = "cannot write the picture " + path.string() + ": " + error;
            return false;
        }
        return true;
    }

    // The patient's media folder of a file, closed to others like the database folder.
    bool MakeFolderOf(const fs::path& path) {
        return privatefiles::MakePrivateFolder(path.parent_path().string(), m_error);
    }

    bool WriteSmallFile(const fs::path& path, const std::string& bytes) {
        if (!MakeFolderOf(path)) return false;
        std::string error;
        if (!WriteFileAtomically(path.string(), bytes, &error)) {
            *m_error = "cannot write " + path.string() + ": " + error;
            return false;
        }
        return true;
    }

    // Masters that overlap the practice's: the same codes with the product's own names, and
    // codes the practice does not have.
    bool WriteMasters() {
        struct SCodeText {
            const char* m_code;
            const char* m_name;
        };
        static constexpr SCodeText kDoctors[] = {{"01", "山田　一郎（分析）"}, {"04", "田中　誠"}};
        static constexpr SCodeText kConditions[] = {{"01", "良好（分析）"}, {"04", "要再分析"}};
        static constexpr SCodeText kCaseGroups[] = {{"001", "不正咬合"}, {"003", "口唇裂"}};
        static constexpr SCodeText kLabStaff[] = {{"0001", "院内技工 田村（分析）"},
                                                  {"0005", "セファロ撮影担当"}};
        for (const SCodeText& d : kDoctors) {
            CDoctorDB table;
            if (!Insert(table, [&](tagDOCTORDB& r) {
                    Ascii(r.Code, d.m_code);
                    Text(r.Name, d.m_name);
                })) {
                return false;
            }
        }
        for (const SCodeText& c : kConditions) {
            CConditionDB table;
            if (!Insert(table, [&](tagCONDITIONDB& r) {
                    Ascii(r.Code, c.m_code);
                    Text(r.Name, c.m_name);
                })) {
                return false;
            }
        }
        for (const SCodeText& g : kCaseGroups) {
            CCasePaDB table;
            if (!Insert(table, [&](tagCASEPADB& r) {
                    Ascii(r.Code, g.m_code);
                    Text(r.Name, g.m_name);
                })) {
                return false;
            }
            CCaseDB cases;
            if (!Insert(cases, [&](tagCASEDB& r) {
                    Ascii(r.GroupCode, g.m_code);
                    Ascii(r.Code, "001");
                    Text(r.Name, g.m_name);
                })) {
                return false;
            }
        }
        CCaseRefDB reference;
        if (!Insert(reference, [](tagCASEREFDB& r) {
                Ascii(r.Code, "001");
                Text(r.Name, "学会症例");
            })) {
            return false;
        }
        CCaseRRegDB referenceCase;
        if (!Insert(referenceCase, [](tagCASERREGDB& r) {
                Ascii(r.RefCode, "001");
                Ascii(r.GroupCode, "001");
                Ascii(r.Code, "001");
            })) {
            return false;
        }
        for (const SCodeText& s : kLabStaff) {
            CCustomTblDB table;
            if (!Insert(table, [&](tagCUSTOMTBLDB& r) {
                    Ascii(r.TableID, "AA");
                    Ascii(r.Code, s.m_code);
                    Ascii(r.CodeCopy, s.m_code);
                    Text(r.Name, s.m_name);
                })) {
                return false;
            }
        }
        // The shared photo-set records of every patient ("0000000000").
        return InsertRecord<CXyPhotoExDB>(
                   Id10(0), 1, [&](auto& r) { Ascii(r.PhotoDate, Ymd(m_input.m_today)); }) &&
               InsertRecord<CXyPhotoExImgDB>(Id10(0), 1,
                                             [](auto& r) {
                                                 Ascii(r.ImageNo, "00001");
                                                 Ascii(r.PhotoNo, Id10(1));
                                             }) &&
               InsertRecord<CXyPhotoExTextDB>(Id10(0), 1, [](auto& r) {
                   Ascii(r.TextNo, "00001");
                   Text(r.Text, "標準写真セット");
               });
    }

    template <typename Table, typename Fill>
    bool Insert(Table& table, Fill fill) {
        int status = table.Open(m_input.m_folder);
        if (status != 0) return Fail("opening " + table.GetFileName(), status);
        table.ClearData();
        fill(table.m_Data);
        status = table.Insert();
        return status == 0 || Fail("adding to " + table.GetFileName(), status);
    }

    const SXyloInput& m_input;
    std::string* m_error;
    CDemoRandom m_random;
    int m_patientCount = 0;
};

}  // namespace

bool BuildXyloDatabase(const SXyloInput& input, int* patients, std::string* error) {
    return CXyloBuilder(input, error).Run(patients);
}

}  // namespace velodb
