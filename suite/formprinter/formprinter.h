// CFormPrinter: the suite's form printer. It fills a form definition (".frm") with a form
// data file and shows the pages in a print preview, from which the person prints. Callers
// hand it the two file paths and keep ownership of the data file, which they may delete as
// soon as OnStart returns.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "suite/formprinter/formdata.h"
#include "suite/formprinter/formdefinition.h"

class CFormPrinter {
public:
    enum EStatus {
        kOk = 0,
        kDataUnreadable = 1,  // the data file is missing, unreadable or malformed
        kFormUnreadable = 2,  // the form file is missing, unreadable or malformed
        kOutputFailed = 3,    // the output (PDF) could not be written
    };

    // Reads both files and shows the filled form in a modal print preview titled `title`;
    // returns when the preview is closed. `flag` is reserved (callers pass 0). Returns kOk
    // once the pages were shown, or kDataUnreadable / kFormUnreadable after telling the
    // person through CMessageService. Without an interactive display (no application
    // object, or the offscreen or minimal platform) the preview is skipped and kOk
    // returned, so tests and scripted runs never wait; the preview hook, when set, is
    // called instead of the preview in every case.
    static int OnStart(const char* dataFile, const char* formFile, const char* title, int flag);

    // Renders every page into a PDF at `pdfPath`, replacing the file atomically. Shows no
    // message; returns a status and, when `error` is not null, the reason of a failure.
    static int PrintToPdf(const char* dataFile, const char* formFile, const char* title,
                          const char* pdfPath, std::string* error = nullptr);

    // Reads the two files; kOk, or the status of the first that failed with its reason in
    // `error` (the path and what went wrong).
    static int Load(const std::string& dataFile, const std::string& formFile, FormData* data,
                    FormDefinition* form, QString* error);

    // Test hook that replaces the preview: receives what would be shown and returns the
    // status OnStart gives back. An empty function removes it.
    using PreviewHook =
        std::function<int(const FormDefinition&, const FormData&, const QString& title)>;
    static void SetPreviewHookForTesting(PreviewHook hook);
};
