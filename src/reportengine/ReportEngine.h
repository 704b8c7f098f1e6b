#pragma once

// The band report engine in one include: templates, datasets, layout, painting and PDF.
// The preview window is reportengine/ReportPreviewDialog.h (rolvan_ui).
#include "reportengine/ReportDataset.h"
#include "reportengine/ReportLayout.h"
#include "reportengine/ReportRender.h"
#include "reportengine/ReportTemplate.h"
