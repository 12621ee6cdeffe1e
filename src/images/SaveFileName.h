#pragma once
#include "images/CaptureTime.h"

#include <QString>

#include <cstdint>

namespace vistrel {

// "<saveFolder>/YYYYMMDDhhmmss_PP.<ext>", position 1-based; one separator between folder and name
// (a folder ending in a separator gets none added). Empty for an unknown format.
QString SaveFileName(const QString& saveFolder, const CaptureTime& saveTime, int position, std::int32_t format);

// The n-th alternative of a taken name: "x.jpg" -> "x-2.jpg", "x-3.jpg", ... (n >= 2).
QString AlternativeFileName(const QString& fileName, int n);

} // namespace vistrel
