// CPostcardView: the suite's postcard preview. The reserved-patient search hands it the
// checked rows' patients; it lays out one reminder postcard per patient and shows them in
// a print preview, from which the person prints on postcards.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "suite/postcard/postcarddata.h"

class CVeloDBSys;

class CPostcardView final {
public:
    CPostcardView() = delete;

    // Reads the patients (unknown or inactive ones are skipped, each patient once) and
    // shows their postcards in a modal print preview until it is closed; mode 1 writes the
    // address side horizontally, any other mode vertically. Returns the number of postcards
    // laid out. With no patient to print, or when the files cannot be read, it tells the
    // person through CMessageService and shows no preview. Without an interactive display
    // (no application object, or the offscreen or minimal platform) the preview itself is
    // skipped so that tests and scripted runs never wait; the preview hook, when set, is
    // called instead of the preview in every case.
    static int DoPreview(CVeloDBSys* db, const std::vector<std::string>& patientIds, int mode);

    // Test hook that replaces the preview: receives what would be shown.
    using PreviewHook = std::function<void(const std::vector<CPostcardAddressee>& cards,
                                           const CPostcardSender& sender, int mode)>;
    static void SetPreviewHookForTesting(PreviewHook hook);
};
