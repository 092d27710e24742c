// Painting one page of a form: the form definition says where things go, the form data
// what they say. The painter's device is taken to be the whole sheet of paper (a QImage of
// the paper's proportions, a full-page printer or a PDF writer without margins); the form's
// millimetres are scaled to it once, keeping the proportions.
#pragma once

#include <QString>

#include "suite/formprinter/formdata.h"
#include "suite/formprinter/formdefinition.h"

class QPainter;

// Paints page `page` (from 1) of `data` with `form`. `title` replaces the form's own title
// when it is not empty. Texts that do not fit their box are cut with an ellipsis, never
// drawn outside it. Returns false, painting nothing, when the page does not exist or the
// painter is not active.
bool RenderForm(QPainter& painter, const FormDefinition& form, const FormData& data, int page,
                const QString& title = QString());
