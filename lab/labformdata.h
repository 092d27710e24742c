// The form data file of the printed lab schedule: the list rows, fifty to a page, with the
// clinic's heading, as code page 932 text that the form printer fills into its form.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "lab/labcore.h"

struct FormHeader {
    QString clinicName, clinicAddress, clinicTel;
    bool useRange = true;
    std::string from, to, today;  // YYYYMMDD
};

// The whole file as code page 932 bytes, lines ending in CR LF.
std::string BuildFormData(const std::vector<LabRow>& rows, const FormHeader& h);

// Writes the bytes to path (a temporary file beside it, then a rename). False when the
// file cannot be written; nothing is shown.
bool WriteFormDataFile(const std::string& path, const std::string& bytes);

// The message shown when the temporary folder for the form data cannot be made; %1 is the
// folder and the reason.
constexpr int kIdsLabTempFolderFailed = 19500;

// "_tmpschedule.dat" in this user's temporary folder (CVeloSubTools::GetTemporaryFolder).
// "" when that folder cannot be made, with the message to show in *message.
std::string FormDataFilePath(QString* message);

// The header for the filter: the clinic's name, address and telephone number from the
// suite's "GLOBAL" settings (default ""), the range and today.
FormHeader ReadFormHeader(const LabFilter& f, const std::string& today);
