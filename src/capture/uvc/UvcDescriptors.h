#pragma once
// What a USB video function declares about itself in its descriptors: extension units, the camera
// terminal, the processing unit, the status endpoint and its streaming interfaces.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "capture/contract/Guid.h"
#include "capture/uvc/UvcStreamingDescriptors.h"

namespace vistrel::uvc {

// A unit's or terminal's bmControls: bit i stands for control selector i + 1 (units) or feature i (terminals).
struct ControlBitmap
{
    std::vector<std::uint8_t> bytes; // least significant byte first
    bool Has(unsigned bit) const { return bit / 8 < bytes.size() && (bytes[bit / 8] >> (bit % 8)) & 1u; }
};

struct UvcExtensionUnit
{
    std::uint8_t unitId = 0;
    Guid guid;
    std::uint8_t numControls = 0;
    ControlBitmap controls;
    // The descriptor from its extension code onward: code (16), bNumControls, bNrInPins, baSourceID[p],
    // bControlSize, bmControls[n], iExtension (and whatever the device appends).
    std::vector<std::uint8_t> body;
};

struct UvcCameraTerminal
{
    std::uint8_t terminalId = 0;
    ControlBitmap controls;
};

struct UvcProcessingUnit
{
    std::uint8_t unitId = 0;
    ControlBitmap controls;
};

// Camera-terminal features by their bit in bmControls.
constexpr unsigned kTerminalRollAbsoluteBit = 13;

struct UvcFunction
{
    std::uint8_t controlInterface = 0;
    std::uint16_t uvcVersion = 0; // bcdUVC, 0x0110 for 1.1
    std::vector<UvcExtensionUnit> extensionUnits;
    std::optional<UvcCameraTerminal> cameraTerminal;
    std::optional<UvcProcessingUnit> processingUnit;
    std::optional<UvcEndpoint> statusEndpoint; // the control interface's interrupt endpoint
    std::vector<std::uint8_t> streamingInterfaces;
    std::uint8_t stillCaptureMethod = 0; // the highest method of its streaming interfaces; 0 = none
    std::vector<UvcStreamingInterface> streaming; // those of streamingInterfaces the descriptors hold
};

// The identifier as stored in a descriptor: the first three fields little-endian, then eight bytes.
Guid GuidFromBytes(std::span<const std::uint8_t, 16> bytes);

// Parses the descriptors of a USB device (device descriptor, then its first configuration) for the video
// function whose control interface is controlInterface. Malformed descriptors end the walk or are skipped;
// nothing is read outside the given bytes. None when that interface is not a video control interface.
std::optional<UvcFunction> ParseUvcFunction(std::span<const std::uint8_t> descriptors, std::uint8_t controlInterface);

} // namespace vistrel::uvc
