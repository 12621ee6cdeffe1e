#pragma once
// Byte-level USB descriptor sets for the parser's tests.
#include <cstdint>
#include <optional>
#include <vector>

#include "capture/contract/Guid.h"

namespace vistrel::v4l2::test {

std::vector<std::uint8_t> GuidBytes(const Guid& guid);

// Builds descriptors in the order a device reports them.
class DescriptorBuilder
{
public:
    DescriptorBuilder& Device();
    DescriptorBuilder& Configuration();
    DescriptorBuilder& Interface(std::uint8_t number, std::uint8_t alternate, std::uint8_t subclass,
                                 std::uint8_t interfaceClass = 0x0E);
    DescriptorBuilder& ControlHeader(const std::vector<std::uint8_t>& streamingInterfaces);
    DescriptorBuilder& CameraTerminal(std::uint8_t id, const std::vector<std::uint8_t>& controls);
    DescriptorBuilder& ProcessingUnit(std::uint8_t id, std::uint8_t source);
    // bLength is computed unless given (to make it lie).
    DescriptorBuilder& ExtensionUnit(std::uint8_t id, const Guid& guid, std::uint8_t numControls,
                                     const std::vector<std::uint8_t>& sources,
                                     const std::vector<std::uint8_t>& bitmap,
                                     std::optional<std::uint8_t> lengthOverride = std::nullopt);
    DescriptorBuilder& StreamingInputHeader(std::uint8_t stillMethod);
    DescriptorBuilder& MjpegFormat(std::uint8_t index); // VS subtype 0x06, like an extension unit's
    DescriptorBuilder& Endpoint(std::uint8_t address);
    // Streaming interface descriptors in full.
    DescriptorBuilder& InputHeader(std::uint8_t endpoint, std::uint8_t stillMethod, std::uint8_t formats);
    DescriptorBuilder& UncompressedFormat(std::uint8_t index, std::uint8_t frames, const Guid& guid);
    DescriptorBuilder& Frame(std::uint8_t subtype, std::uint8_t index, std::uint16_t width, std::uint16_t height,
                             std::uint32_t bufferSize, const std::vector<std::uint32_t>& intervals,
                             bool continuous = false);
    DescriptorBuilder& StillImageFrame(std::uint8_t endpoint, const std::vector<std::pair<std::uint16_t, std::uint16_t>>& sizes,
                                       const std::vector<std::uint8_t>& compressions);
    DescriptorBuilder& Endpoint(std::uint8_t address, std::uint8_t attributes, std::uint16_t maxPacketSize);
    DescriptorBuilder& SuperSpeedCompanion(std::uint16_t bytesPerInterval);
    DescriptorBuilder& Raw(const std::vector<std::uint8_t>& bytes);
    std::vector<std::uint8_t> Bytes() const { return bytes; }

private:
    std::vector<std::uint8_t> bytes;
};

constexpr Guid kOtherUnitGuid {0x0F3F95DC, 0x2632, 0x4C4E, {0x92, 0xC9, 0xA0, 0x47, 0x82, 0xF4, 0x3B, 0xC8}};

// A scanner as it presents itself: control interface 0 (camera terminal 1 with roll, processing unit 2,
// an unrelated unit 3, the scanner's unit 4 with controls 1..11 of 16), streaming interface 1 with still method 2.
std::vector<std::uint8_t> ScannerDescriptors();

} // namespace vistrel::v4l2::test
