#pragma once
// Kernel-streaming access to a device's topology nodes and their properties (the extension unit).
#include <cstdint>

#include "capture/contract/Guid.h"
#include "capture/contract/Result.h"

namespace vistrel {

#ifndef KSPROPERTY_TYPE_GET
constexpr std::uint32_t KSPROPERTY_TYPE_GET = 0x00000001;
#endif
#ifndef KSPROPERTY_TYPE_SET
constexpr std::uint32_t KSPROPERTY_TYPE_SET = 0x00000002;
#endif
#ifndef KSPROPERTY_TYPE_SETSUPPORT
constexpr std::uint32_t KSPROPERTY_TYPE_SETSUPPORT = 0x00000100;
#endif
#ifndef KSPROPERTY_TYPE_BASICSUPPORT
constexpr std::uint32_t KSPROPERTY_TYPE_BASICSUPPORT = 0x00000200;
#endif
#ifndef KSPROPERTY_TYPE_TOPOLOGY
constexpr std::uint32_t KSPROPERTY_TYPE_TOPOLOGY = 0x10000000;
#endif

// A property request addressed to one topology node.
struct KSP_NODE {
    Guid set;
    std::uint32_t id = 0;
    std::uint32_t flags = 0;
    std::uint32_t nodeId = 0;
    std::uint32_t reserved = 0;
};
static_assert(sizeof(KSP_NODE) == 32);

class IKsControl {
public:
    virtual ~IKsControl() = default;
    // data may be null with length 0 (a length probe); bytesReturned receives the bytes written, or the
    // bytes needed together with ERROR_MORE_DATA / ERROR_INSUFFICIENT_BUFFER.
    virtual HRESULT KsProperty(const KSP_NODE& property, void* data, std::uint32_t length,
                               std::uint32_t* bytesReturned) = 0;
};

class IKsTopologyInfo {
public:
    virtual ~IKsTopologyInfo() = default;
    virtual HRESULT get_NumNodes(std::uint32_t* count) = 0;
    virtual HRESULT get_NodeType(std::uint32_t node, Guid* type) = 0;
};

} // namespace vistrel
