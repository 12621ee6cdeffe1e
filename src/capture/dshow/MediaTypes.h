#pragma once
// AM_MEDIA_TYPE, whose format block lives in task memory, and the contract's MediaType.
#include <windows.h>
#include <dshow.h>

#include "capture/contract/MediaType.h"

namespace vistrel::dshow {

vistrel::MediaType FromNativeType(const AM_MEDIA_TYPE& type);
// Frees the format block (FreeMediaType) or the block and the type itself (DeleteMediaType).
void FreeNativeType(AM_MEDIA_TYPE& type);
void DeleteNativeType(AM_MEDIA_TYPE* type);

// A native type that owns a copy of the contract type's format block for as long as a call needs it.
class NativeMediaType {
public:
    explicit NativeMediaType(const vistrel::MediaType& type);
    ~NativeMediaType() { FreeNativeType(native); }
    NativeMediaType(const NativeMediaType&) = delete;
    NativeMediaType& operator=(const NativeMediaType&) = delete;
    AM_MEDIA_TYPE* get() { return &native; }

private:
    AM_MEDIA_TYPE native {};
};

} // namespace vistrel::dshow
