#pragma once
#include "capture/contract/Result.h"
#include "images/Encoders.h"

namespace vistrel {

// How the TIFF writer compresses; the default is what saving uses.
struct TiffOptions
{
    int compression;   // a libtiff COMPRESSION_* value
    int predictor;     // 1 none, 2 horizontal differencing
    int zipLevel;      // deflate effort 1..9 (deflate only)
};
TiffOptions DefaultTiffOptions();

HRESULT WriteTiff(const RowSource& image, const SaveMetadata& metadata, FileSink& out, const TiffOptions& options,
                  Reason* reason);

} // namespace vistrel
