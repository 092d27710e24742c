// The form data file of the printed lab schedule: a page section per fifty list rows, each
// with the clinic heading and fifty numbered slots, as code page 932 text with CR LF lines.
#include "lab/labformdata.h"

#include <QDate>
#include <QStringList>

#include "suite/comdlg/velosubtools.h"
#include "suite/text/atomicfile.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/strings.h"

namespace {

constexpr int kRowsPerPage = 50;
constexpr int kSimpleDataCount = 5;
constexpr int kListRowCount = 7;  // running number and six texts per slot
// List columns printed in a slot, after the running number.
constexpr LabColumn kPrintedColumns[] = {kColItem,     kColStaff,   kColDue,
                                         kColFinished, kColPatient, kColMemo};

// A value must stay on its own line: a line break inside it would start a new key or
// section of the file.
QString OneLine(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

QString RangeLine(const FormHeader& h) {
    const QDate from = CDate::FromYmd(h.from.c_str());
    const QDate to = CDate::FromYmd(h.to.c_str());
    if (!h.useRange) return QStringLiteral("Data5=全件表示");
    return QStringLiteral("Data5=(%1年%2月%3日\uFF5E%4年%5月%6日)")
        .arg(from.year())
        .arg(from.month())
        .arg(from.day())
        .arg(to.year())
        .arg(to.month())
        .arg(to.day());
}

}  // namespace

std::string BuildFormData(const std::vector<LabRow>& rows, const FormHeader& h) {
    const int rowCount = static_cast<int>(rows.size());
    const int pages = std::max(1, (rowCount + kRowsPerPage - 1) / kRowsPerPage);
    const QDate today = CDate::FromYmd(h.today.c_str());
    const QString todayText =
        today.isValid() ? today.toString(QStringLiteral("yyyy/MM/dd")) : QString();

    QStringList lines;
    lines << QStringLiteral("[page]") << QStringLiteral("pagecount=%1").arg(pages) << QString();
    for (int p = 1; p <= pages; ++p) {
        lines << QStringLiteral("[startpage%1]").arg(p);
        lines << QStringLiteral("[SimpleData]") << QStringLiteral("Count=%1").arg(kSimpleDataCount);
        lines << QStringLiteral("Data1=%1現在  %2/%3").arg(todayText).arg(p).arg(pages);
        lines << QStringLiteral("Data2=%1").arg(OneLine(h.clinicName));
        lines << QStringLiteral("Data3=%1").arg(OneLine(h.clinicAddress));
        lines << QStringLiteral("Data4=電話：%1").arg(OneLine(h.clinicTel));
        lines << RangeLine(h) << QString();
        lines << QStringLiteral("[ListData]") << QStringLiteral("ListCount=1") << QString();
        lines << QStringLiteral("[ListData1]") << QStringLiteral("RowCount=%1").arg(kListRowCount)
              << QStringLiteral("ColumnCount=%1").arg(kRowsPerPage) << QString();
        for (int j = 1; j <= kRowsPerPage; ++j) {
            const int n = (p - 1) * kRowsPerPage + j;
            const QString slot = QStringLiteral("Data%1").arg(j, 2, 10, QChar('0'));
            lines << slot + QStringLiteral("01=%1").arg(n);
            for (int k = 0; k < static_cast<int>(std::size(kPrintedColumns)); ++k) {
                const QString value =
                    n <= rowCount ? OneLine(rows[n - 1].text[kPrintedColumns[k]]) : QString();
                lines << slot + QStringLiteral("%1=").arg(k + 2, 2, 10, QChar('0')) + value;
            }
        }
        lines << QStringLiteral("[endpage%1]").arg(p) << QString();
    }
    return QStringToCp932(lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n"));
}

bool WriteFormDataFile(const std::string& path, const std::string& bytes) {
    return WriteFileAtomically(path, bytes, nullptr);
}

std::string FormDataFilePath(QString* message) {
    RegisterStrings({{kIdsLabTempFolderFailed, "印刷用の一時フォルダーを作成できません。\n%1"}});
    QString reason;
    const std::string folder = CVeloSubTools::GetTemporaryFolder(&reason);
    if (folder.empty()) {
        if (message != nullptr) *message = LoadString(kIdsLabTempFolderFailed).arg(reason);
        return std::string();
    }
    return folder + "_tmpschedule.dat";
}

FormHeader ReadFormHeader(const LabFilter& f, const std::string& today) {
    FormHeader h;
    h.clinicName = CVeloSubTools::GetGlobalSettingString("GLOBAL", "ClinicName", QString());
    h.clinicAddress = CVeloSubTools::GetGlobalSettingString("GLOBAL", "ClinicAddress", QString());
    h.clinicTel = CVeloSubTools::GetGlobalSettingString("GLOBAL", "ClinicTel", QString());
    h.useRange = f.useRange;
    h.from = f.from;
    h.to = f.to;
    h.today = today;
    return h;
}
