#pragma once
// The contract's identifiers and the platform's GUIDs share one layout; these convert between them.
#include <windows.h>

#include <cstring>

#include "capture/contract/Guid.h"

namespace vistrel::dshow {

inline GUID ToGuid(const Guid& id)
{
    static_assert(sizeof(GUID) == sizeof(Guid));
    GUID out;
    std::memcpy(&out, &id, sizeof out);
    return out;
}

inline Guid FromGuid(const GUID& id)
{
    Guid out;
    std::memcpy(&out, &id, sizeof out);
    return out;
}

} // namespace vistrel::dshow
