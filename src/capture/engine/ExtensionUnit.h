#pragma once
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "capture/contract/Filter.h"

namespace vistrel {

// The scanner's vendor extension unit: a topology node whose controls 1..32 are properties of
// PROPSETID_ScannerExtensionUnit.
class ExtensionUnit {
public:
    using Wait = std::function<void(std::chrono::milliseconds)>;
    static constexpr int kMaxControls = 32;
    static constexpr std::uint32_t kCommandControl = 10;
    static constexpr std::uint32_t kReplyControl = 11;
    static constexpr int kMaxProbeAttempts = 10;
    static constexpr std::chrono::milliseconds kProbeInterval {100};

    // wait: called after every length-probe attempt; sleeps by default.
    explicit ExtensionUnit(Wait wait = {});
    ~ExtensionUnit();

    HRESULT OpenExtensionUnit(const std::shared_ptr<IBaseFilter>& filter);
    HRESULT GetExtensionControl(std::uint32_t id, std::int64_t* value);
    // Writes the command control (10).
    HRESULT SetExtensionControl(std::int64_t value);
    void Close();

    bool IsOpen() const { return control != nullptr && nodeId != -1; }
    std::int32_t NodeId() const { return nodeId; }
    std::uint32_t Access(std::uint32_t id) const;
    std::uint32_t Length(std::uint32_t id) const;

private:
    HRESULT Request(std::uint32_t id, std::uint32_t flags, void* data, std::uint32_t length,
                    std::uint32_t* bytesReturned);
    HRESULT CheckedLength(std::uint32_t id, std::uint32_t accessBit, std::uint32_t* length) const;

    std::shared_ptr<IKsControl> control;
    std::int32_t nodeId = -1;
    std::array<std::uint32_t, kMaxControls> access {};
    std::array<std::uint32_t, kMaxControls> length {};
    Wait wait;
};

// The identification exchange: command 00 D0 00 00 08 00 00 00, reply "REALSIL\0".
bool IdentifyScanner(ExtensionUnit& unit);

constexpr std::int64_t kIdentifyCommand = 0x000000080000D000LL;
constexpr std::int64_t kResetCommand = 0xFF;
constexpr std::uint64_t kScannerIdentity = 0x004C49534C414552ULL; // "REALSIL\0", least significant first

} // namespace vistrel
