#include "images/DecodedStill.h"

#include "images/StillCheck.h"

#include <turbojpeg.h>


#include <memory>

namespace vistrel {

namespace {

// A decompressor keeps the tables of the last picture it read and uses them for a later one that
// lacks its own, so each still gets a fresh one: the same bytes always decode the same way.
using Decoder = std::unique_ptr<void, int (*)(tjhandle)>;

bool Covers(std::int64_t full, const tjscalingfactor& f, std::int64_t needed)
{
    return full * f.num >= needed * f.denom;
}

} // namespace

HRESULT DecodeStill(const std::uint8_t* bytes, std::int32_t size, std::int32_t W, std::int32_t H,
                    std::int32_t neededWidth, std::int32_t neededHeight, DecodedStill* out, Reason* reason,
                    ScratchBuffer* scratch)
{
    std::int32_t headerW = 0, headerH = 0;
    switch (CheckStillHeader(bytes, size, &headerW, &headerH)) {
    case StillCheck::NotDecodable:
    case StillCheck::Damaged:
        *reason = Reason(ReasonCode::StillDamaged);
        return E_FAIL;
    case StillCheck::TooLarge:
        *reason = Reason(ReasonCode::StillTooLarge).WithSize(headerW, headerH);
        return E_INVALIDARG;
    case StillCheck::Ok:
        break;
    }
    const Decoder owner(tjInitDecompress(), tjDestroy);
    tjhandle decoder = owner.get();
    if (!decoder) {
        *reason = Reason(ReasonCode::StillDamaged).WithDetail("no JPEG decoder");
        return E_OUTOFMEMORY;
    }

    tjscalingfactor chosen{1, 1};
    const bool small = W > 0 && H > 0 && neededWidth > 0 && neededHeight > 0 &&
                       2 * static_cast<std::int64_t>(neededWidth) <= W &&
                       2 * static_cast<std::int64_t>(neededHeight) <= H;
    if (small) {
        int count = 0;
        const tjscalingfactor* factors = tjGetScalingFactors(&count);
        for (int i = 0; i < count; ++i) {
            const tjscalingfactor& f = factors[i];
            const bool reduces = f.num < f.denom;
            const bool smaller = static_cast<std::int64_t>(f.num) * chosen.denom <
                                 static_cast<std::int64_t>(chosen.num) * f.denom;
            if (reduces && smaller && Covers(W, f, neededWidth) && Covers(H, f, neededHeight)) {
                chosen = f;
            }
        }
    }

    const int width = TJSCALED(headerW, chosen);
    const int height = TJSCALED(headerH, chosen);
    const std::int32_t stride = width * 4;
    const std::size_t bytesNeeded = static_cast<std::size_t>(stride) * height;
    std::unique_ptr<std::uint8_t[]> owned;
    std::uint8_t* pixels = nullptr;
    if (scratch) {
        pixels = scratch->Reserve(bytesNeeded);
    } else {
        owned = std::make_unique_for_overwrite<std::uint8_t[]>(bytesNeeded);
        pixels = owned.get();
    }
    // A warning means grey where the picture should be: such a still is refused, not shown or saved.
    if (tjDecompress2(decoder, bytes, static_cast<unsigned long>(size), pixels, width, stride, height,
                      TJPF_BGRX, TJFLAG_STOPONWARNING) != 0) {
        *reason = Reason(ReasonCode::StillDamaged).WithDetail(tjGetErrorStr2(decoder));
        return E_FAIL;
    }
    out->owned = std::move(owned);
    out->pixels = pixels;
    out->width = width;
    out->height = height;
    out->stride = stride;
    out->scaleNum = chosen.num;
    out->scaleDenom = chosen.denom;
    return S_OK;
}

} // namespace vistrel
