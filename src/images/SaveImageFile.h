#pragma once
#include "capture/contract/Result.h"
#include "images/Encoders.h"
#include "images/ScratchBuffer.h"

#include <QString>

#include <cstdint>
#include <system_error>

namespace vistrel {

// Failures the window words itself, from their code; the others come with a reason.
enum class SaveFailure { Other, FolderNotCreated };

struct SaveFileResult
{
    QString path;     // the file actually written (the wanted name or its first free alternative)
    Reason reason;    // why nothing was written
    SaveFailure failure = SaveFailure::Other;
    std::error_code systemError;   // the system's reason, where there is one
    QString folder;                // the folder that could not be made
};

// Makes folder and the folders above it that are missing; the system's reason when it cannot.
std::error_code MakeFolderPath(const QString& folder);

// Who makes a written file's name durable: SaveImageFile itself, or a caller that saves many
// files into one folder and syncs it once (SyncFolder) before it reports them written.
enum class FolderSync { Each, ByCaller };

// Decodes, orients, crops to the box's proportions and scales the still into outW x outH (portrait
// for odd rotations), then writes it as format 0 JPEG or 1 TIFF. Missing folders are created. The
// file appears complete or not at all, and never replaces an existing file: a taken name gets the
// first free "-2", "-3", ... suffix. The output is encoded as it is drawn, a band of rows at a
// time. The file's data is on the disk before it takes its name. Returns S_OK or a failure with
// result->reason set. A thread that saves many files passes the same scratch each time.
HRESULT SaveImageFile(const std::uint8_t* bytes, std::int32_t size, std::int32_t W, std::int32_t H,
                      const QString& fileName, std::int32_t outW, std::int32_t outH, std::int32_t mirrored,
                      std::int32_t rotation, std::int32_t format, const SaveMetadata& metadata = {},
                      SaveFileResult* result = nullptr, SaveScratch* scratch = nullptr,
                      FolderSync folderSync = FolderSync::Each);

} // namespace vistrel
