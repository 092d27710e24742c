// CMailTemplateSet: the template dialog's working copy, read through CGlobalSettings and
// written back with one locked read-modify-write of the settings file (CIniFile::Update).
#include "suite/comdlg/mailtemplateset.h"

#include <QList>
#include <algorithm>
#include <utility>

#include "suite/text/globalsettings.h"
#include "suite/text/inifile.h"

namespace {

const QString kChoiceSection = QStringLiteral("Email");
const QString kChoiceKey = QStringLiteral("ReservationTemplate");

QString SectionOf(int number) { return QStringLiteral("MailTemplate%1").arg(number); }

void AddOnce(std::vector<int>& numbers, int number) {
    if (std::find(numbers.begin(), numbers.end(), number) == numbers.end()) {
        numbers.push_back(number);
    }
}

}  // namespace

const std::vector<CMailTemplateSet::Placeholder>& CMailTemplateSet::Placeholders() {
    static const std::vector<Placeholder> placeholders = {
        {"$_PNAME", "患者氏名"},
        {"$_REDATE", "予約日"},
        {"$_RETIME", "予約時間"},
        {"$_DATETIME", "送信日時"},
    };
    return placeholders;
}

void CMailTemplateSet::Load() {
    m_templates.clear();
    m_changed.clear();
    m_removed.clear();
    for (int number : CGlobalSettings::TemplateNumbers()) {
        CMailTemplate t;
        t.number = number;
        // A section the reader cannot reach under its number ("MailTemplate01") is not a
        // template the reminder run could use either.
        if (CGlobalSettings::GetReservationTemplate(number, &t.title, &t.subject, &t.body)) {
            m_templates.push_back(t);
        }
    }
    const QString chosen = CGlobalSettings::GetString(kChoiceSection, kChoiceKey);
    m_chosen = std::max(CIniFile::ParseInt(chosen, -1), -1);
    m_chosenChanged = false;
}

const CMailTemplate* CMailTemplateSet::Find(int number) const {
    for (const CMailTemplate& t : m_templates) {
        if (t.number == number) return &t;
    }
    return nullptr;
}

CMailTemplate* CMailTemplateSet::FindMutable(int number) {
    return const_cast<CMailTemplate*>(std::as_const(*this).Find(number));
}

int CMailTemplateSet::Add(const QString& title) {
    int number = 0;
    for (const CMailTemplate& t : m_templates) number = std::max(number, t.number + 1);
    CMailTemplate added;
    added.number = number;
    added.title = title;
    m_templates.push_back(added);
    AddOnce(m_changed, number);
    return number;
}

bool CMailTemplateSet::Edit(int number, const QString& title, const QString& subject,
                            const QString& body) {
    CMailTemplate* t = FindMutable(number);
    if (t == nullptr) return false;
    if (t->title == title && t->subject == subject && t->body == body) return true;
    t->title = title;
    t->subject = subject;
    t->body = body;
    AddOnce(m_changed, number);
    return true;
}

bool CMailTemplateSet::Remove(int number) {
    const auto it = std::find_if(m_templates.begin(), m_templates.end(),
                                 [number](const CMailTemplate& t) { return t.number == number; });
    if (it == m_templates.end()) return false;
    m_templates.erase(it);
    m_changed.erase(std::remove(m_changed.begin(), m_changed.end(), number), m_changed.end());
    AddOnce(m_removed, number);
    if (m_chosen == number) SetChosen(-1);
    return true;
}

void CMailTemplateSet::SetChosen(int number) {
    if (number == m_chosen) return;
    m_chosen = number;
    m_chosenChanged = true;
}

bool CMailTemplateSet::IsModified() const {
    return !m_changed.empty() || !m_removed.empty() || m_chosenChanged;
}

bool CMailTemplateSet::Save(std::string* error) {
    if (!IsModified()) return true;
    const std::string path = CGlobalSettings::SettingsPath();
    if (path.empty()) {
        if (error != nullptr) *error = "no database folder is set";
        return false;
    }
    const bool saved = CIniFile::Update(
        path,
        [this](CIniFile& file) {
            // Removed sections go first, so a number removed and then given to a new
            // template starts from an empty section.
            for (int number : m_removed) file.RemoveSection(SectionOf(number));
            for (int number : m_changed) {
                const CMailTemplate* t = Find(number);
                if (t == nullptr) continue;
                const QString section = SectionOf(number);
                file.SetString(section, QStringLiteral("Title"), t->title);
                file.SetString(section, QStringLiteral("Subject"), t->subject);
                file.SetString(section, QStringLiteral("Body"),
                               CGlobalSettings::EscapeLineBreaks(t->body));
            }
            if (m_chosenChanged) {
                file.SetString(kChoiceSection, kChoiceKey,
                               m_chosen < 0 ? QString() : QString::number(m_chosen));
            }
            return true;
        },
        error);
    if (!saved) return false;
    m_changed.clear();
    m_removed.clear();
    m_chosenChanged = false;
    return true;
}
