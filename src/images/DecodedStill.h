#pragma once
#include "capture/contract/Reason.h"
#include "capture/contract/Result.h"
#include "images/ScratchBuffer.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace vistrel {

// A still decoded into 4-byte pixels B, G, R, 0xFF, possibly at a reduced DCT scale.
struct DecodedStill
{
    std::uint8_t* pixels = nullptr;            // in owned, or in the caller's scratch buffer
    std::unique_ptr<std::uint8_t[]> owned;
    std::int32_t width = 0, height = 0, stride = 0;
    std::int32_t scaleNum = 1, scaleDenom = 1;   // decoded size = header size * scaleNum / scaleDenom
};

// Decodes the still, reading and checking its header before anything is allocated. When neededWidth
// and neededHeight (in the still's own axes, measured against W x H) are at most half of W x H, the
// largest DCT reduction that still covers them is used. Fails with a reason for the user. With a
// scratch buffer the pixels go there instead of a fresh allocation.
HRESULT DecodeStill(const std::uint8_t* bytes, std::int32_t size, std::int32_t W, std::int32_t H,
                    std::int32_t neededWidth, std::int32_t neededHeight, DecodedStill* out, Reason* reason,
                    ScratchBuffer* scratch = nullptr);

} // namespace vistrel
