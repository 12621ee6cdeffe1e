#pragma once
// The scanner's vendor extension unit as its kernel-streaming node answers it: the unit descriptor,
// per-control access and lengths, the command control 10 and the identification control 11.
#include <array>
#include <cstdint>
#include <vector>

#include "capture/contract/KernelStreaming.h"
#include "capture/sim/SimulatedDeviceSource.h"

namespace vistrel::sim {

// Property-set errors as the kernel-streaming layer reports them (on Windows, the SDK's own macros).
#ifndef ERROR_GEN_FAILURE
constexpr std::uint32_t ERROR_GEN_FAILURE = 31;
#endif
#ifndef ERROR_NOT_SUPPORTED
constexpr std::uint32_t ERROR_NOT_SUPPORTED = 50;
#endif
#ifndef ERROR_INVALID_PARAMETER
constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
#endif
#ifndef ERROR_SET_NOT_FOUND
constexpr std::uint32_t ERROR_SET_NOT_FOUND = 1170;
#endif
#ifndef E_PROP_SET_UNSUPPORTED
constexpr HRESULT E_PROP_SET_UNSUPPORTED = HresultFromWin32(ERROR_SET_NOT_FOUND);
#endif

class ExtensionUnitModel {
public:
    static constexpr std::uint32_t kCommandControl = 10;
    static constexpr std::uint32_t kIdentityControl = 11;
    static constexpr std::uint32_t kVersionControl = 1;     // a read-only 4-byte firmware version
    static constexpr std::uint8_t kSourceUnitId = 2;        // the processing unit feeding the extension unit
    static constexpr std::array<std::uint8_t, 8> kIdentifyCommand {0x00, 0xD0, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00};
    static constexpr std::array<std::uint8_t, 7> kIdentity {'R', 'E', 'A', 'L', 'S', 'I', 'L'};
    static constexpr std::uint32_t kFirmwareVersion = 0x00010302;

    // One request addressed to the unit's node (the node and set are checked by the caller).
    HRESULT Answer(const KSP_NODE& request, void* data, std::uint32_t length, std::uint32_t* bytesReturned,
                   const ScannerFaults& faults);
    // The descriptor from the extension code onward, as the unit reports it under these faults.
    static std::vector<std::uint8_t> Descriptor(const ScannerFaults& faults);
    void Reset();

private:
    HRESULT Get(std::uint32_t id, void* data, std::uint32_t length, std::uint32_t* bytesReturned,
                const ScannerFaults& faults) const;
    HRESULT Set(std::uint32_t id, const void* data, std::uint32_t length, const ScannerFaults& faults);

    std::array<std::uint8_t, 8> lastCommand {};
};

} // namespace vistrel::sim
