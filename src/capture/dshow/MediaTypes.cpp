#include "capture/dshow/MediaTypes.h"

#include <cstring>

#include "capture/dshow/ComGuid.h"

namespace vistrel::dshow {

vistrel::MediaType FromNativeType(const AM_MEDIA_TYPE& type)
{
    vistrel::MediaType out;
    out.majorType = FromGuid(type.majortype);
    out.subType = FromGuid(type.subtype);
    out.formatType = FromGuid(type.formattype);
    if (type.pbFormat && type.cbFormat)
        out.formatBlock.assign(type.pbFormat, type.pbFormat + type.cbFormat);
    return out;
}

void FreeNativeType(AM_MEDIA_TYPE& type)
{
    CoTaskMemFree(type.pbFormat);
    type.pbFormat = nullptr;
    type.cbFormat = 0;
    if (type.pUnk) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

void DeleteNativeType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return;
    FreeNativeType(*type);
    CoTaskMemFree(type);
}

NativeMediaType::NativeMediaType(const vistrel::MediaType& type)
{
    native.majortype = ToGuid(type.majorType);
    native.subtype = ToGuid(type.subType);
    native.formattype = ToGuid(type.formatType);
    native.bFixedSizeSamples = TRUE;
    if (!type.formatBlock.empty()) {
        native.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(type.formatBlock.size()));
        if (native.pbFormat) {
            std::memcpy(native.pbFormat, type.formatBlock.data(), type.formatBlock.size());
            native.cbFormat = ULONG(type.formatBlock.size());
        }
    }
    std::int32_t width = 0, height = 0;
    if (ReadVideoInfoSize(type, width, height))
        native.lSampleSize = ULONG(ReadInt32At(type.formatBlock, kBiSizeImageOffset));
}

} // namespace vistrel::dshow
