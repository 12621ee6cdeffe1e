#pragma once
// The emulated scanner's USB descriptors: one configuration with a video function (interface
// association, control interface with its status endpoint, streaming interface on a bulk endpoint, or
// on an isochronous one behind alternate settings of growing bandwidth).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "capture/sim/SimulatedDeviceSource.h"

namespace vistrel::uvcemu {

constexpr std::uint16_t kVendorId = 0x8888;
constexpr std::uint16_t kProductId = 0x0001;

// Interfaces, entities and endpoints of the function.
constexpr std::uint8_t kControlInterface = 0;
constexpr std::uint8_t kStreamingInterface = 1;
constexpr std::uint8_t kCameraTerminalId = 1;
constexpr std::uint8_t kProcessingUnitId = 2;  // the extension unit's source (see ExtensionUnitModel)
constexpr std::uint8_t kExtensionUnitId = 3;
constexpr std::uint8_t kOutputTerminalId = 4;
constexpr std::uint8_t kStatusEndpoint = 0x81;  // interrupt IN
constexpr std::uint8_t kVideoEndpoint = 0x82;   // bulk or isochronous IN
constexpr std::uint16_t kStatusPacketSize = 16;
constexpr std::uint16_t kBulkPacketSize = 512;
constexpr std::uint8_t kControlPacketSize = 64;

constexpr std::uint8_t kMjpegFormatIndex = 1;

// How the video endpoint moves data.
enum class VideoTransfer { Bulk, Isochronous };

// The isochronous endpoint's wMaxPacketSize in alternate settings 1, 2, ... (0 has no endpoint): bits
// 10..0 the packet size, bits 12..11 the extra transactions per microframe of a high-bandwidth endpoint.
constexpr std::uint16_t kIsoMaxPacketSizes[] {512, 1024, 0x0800 | 1024, 0x1000 | 1024};
// Bytes an alternate setting moves per microframe; 0 for alternate setting 0 or one the device lacks.
std::size_t IsoBytesPerInterval(std::uint8_t alternateSetting);

struct FrameSize {
    std::int32_t width = 0, height = 0;
    bool operator==(const FrameSize&) const = default;
};

// Video frames by frame index - 1: the live picture's sizes.
constexpr FrameSize kVideoFrames[] {{1280, 960}, {960, 960}};
// The bandwidth each video frame asks for on the isochronous endpoint (dwMaxPayloadTransferSize): the
// larger frame needs the high-bandwidth setting.
constexpr std::uint32_t kIsoPayloadSizes[] {3 * 1024, 2 * 1024};
// Still-image frames (still method 2) by still frame index - 1.
constexpr FrameSize kStillFrames[] {{2592, 1944}, {2448, 2448}};
constexpr std::uint32_t kFrameInterval = 10'000'000 / 20; // 100 ns units: 20 frames a second

// Largest compressed frame the device sends at a size (the host sizes its buffers from it).
std::uint32_t MaxFrameBytes(FrameSize size);

// Descriptors by type; the strings are UTF-16LE string descriptors, index 0 the language list.
std::vector<std::uint8_t> DeviceDescriptor();
std::vector<std::uint8_t> DeviceQualifier();
std::vector<std::uint8_t> ConfigurationDescriptor(const sim::ScannerFaults& unitShape,
                                                  VideoTransfer transfer = VideoTransfer::Bulk);
std::optional<std::vector<std::uint8_t>> StringDescriptor(std::uint8_t index);

} // namespace vistrel::uvcemu
