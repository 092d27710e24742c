// The demo database of the cephalometric product, made beside a demo practice database so
// that the merger has something to merge: its own patients (some with the practice's patient
// IDs, one written in lower case, one without an ID, two sharing one), their analyses,
// photos with JPEG images, reports and slideshows in the product's media folders, case
// tables and masters that overlap the practice's.
#pragma once

#include <QDate>
#include <cstdint>
#include <string>

namespace velodb {

struct SXyloInput {
    std::string m_folder;          // the database folder; media folders are made inside it
    std::string m_practiceFolder;  // the practice database whose patients are shared
    uint64_t m_seed = 1;
    QDate m_today;
    bool m_force = false;
};

// Media folders inside the database folder.
constexpr const char kXyloPhotoFolder[] = "Photo";
constexpr const char kXyloReportFolder[] = "Report";
constexpr const char kXyloSlideshowFolder[] = "SlideShow";

// Builds the database; *patients receives the number of patients made. Leaves the process's
// current database folder at m_practiceFolder.
bool BuildXyloDatabase(const SXyloInput& input, int* patients, std::string* error);

}  // namespace velodb
