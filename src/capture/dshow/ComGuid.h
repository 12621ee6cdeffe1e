#pragma once
// The contract's identifiers and the platform's GUIDs share one layout; these convert between them.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <iterator>

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
    Guid out {id.Data1, id.Data2, id.Data3, {}};
    std::copy(std::begin(id.Data4), std::end(id.Data4), out.data4.begin());
    return out;
}

} // namespace vistrel::dshow
