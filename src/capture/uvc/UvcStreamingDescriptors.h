#pragma once
// What a video streaming interface declares: its formats with their frames and still-image frames,
// and the endpoints of each alternate setting.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "capture/contract/Guid.h"

namespace vistrel::uvc {

enum class UvcFormatKind : std::uint8_t { Uncompressed, Mjpeg, FrameBased };

struct UvcFrame
{
    std::uint8_t index = 0; // bFrameIndex
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint32_t maxFrameBufferSize = 0; // dwMaxVideoFrameBufferSize; 0 for frame-based formats
    std::uint32_t defaultInterval = 0;    // 100 ns units
    // Discrete intervals, or minimum, maximum and step when continuous.
    std::vector<std::uint32_t> intervals;
    bool continuousIntervals = false;
};

struct UvcStillSize
{
    std::uint16_t width = 0;
    std::uint16_t height = 0;
};

// A still-image frame descriptor: the sizes a still probe's bFrameIndex counts from 1.
struct UvcStillFrames
{
    std::uint8_t endpoint = 0; // method 3's still endpoint; 0 for method 2
    std::vector<UvcStillSize> sizes;
    std::vector<std::uint8_t> compressions; // a still probe's bCompressionIndex counts from 1
};

struct UvcFormat
{
    std::uint8_t index = 0; // bFormatIndex
    UvcFormatKind kind = UvcFormatKind::Mjpeg;
    Guid guid;              // uncompressed and frame-based formats
    std::uint8_t bitsPerPixel = 0;
    std::uint8_t defaultFrameIndex = 0;
    std::vector<UvcFrame> frames;
    std::optional<UvcStillFrames> stills;
};

enum class UvcTransfer : std::uint8_t { Control = 0, Isochronous = 1, Bulk = 2, Interrupt = 3 };

struct UvcEndpoint
{
    std::uint8_t address = 0;
    std::uint8_t attributes = 0;
    std::uint16_t maxPacketSize = 0; // wMaxPacketSize as declared: bits 11-12 are extra transactions
    std::uint8_t interval = 0;
    std::optional<std::uint32_t> superSpeedBytesPerInterval; // from the SuperSpeed companion

    UvcTransfer Transfer() const { return static_cast<UvcTransfer>(attributes & 0x03); }
    bool In() const { return address & 0x80; }
    // Bytes the endpoint moves per service interval (one isochronous packet).
    std::uint32_t BytesPerInterval() const;
};

struct UvcAlternateSetting
{
    std::uint8_t alternate = 0;
    std::vector<UvcEndpoint> endpoints;
};

struct UvcStreamingInterface
{
    std::uint8_t number = 0;
    std::uint8_t videoEndpoint = 0; // bEndpointAddress of the input header
    std::uint8_t stillCaptureMethod = 0;
    bool hardwareTrigger = false; // bTriggerSupport
    std::vector<UvcFormat> formats;
    std::vector<UvcAlternateSetting> alternates;

    const UvcFormat* Format(std::uint8_t index) const;
    // The video endpoint as an alternate setting declares it; none when that setting lacks it.
    const UvcEndpoint* VideoEndpoint(std::uint8_t alternate) const;
    // Bulk streaming runs on alternate setting 0; isochronous needs a setting with bandwidth.
    bool Bulk() const;
};

// One class-specific descriptor of the streaming interface (alternate setting 0), added to it. Every
// length is checked against the descriptor; a descriptor that does not hold what it claims is skipped,
// and frames or stills before any format are ignored.
void AddStreamingDescriptor(UvcStreamingInterface& interface, std::span<const std::uint8_t> descriptor);

// A standard endpoint descriptor; none when it is too short.
std::optional<UvcEndpoint> ParseEndpoint(std::span<const std::uint8_t> descriptor);

// An interface descriptor's alternate setting (listed even without endpoints), an endpoint descriptor
// of it, and the SuperSpeed companion right after that endpoint.
UvcAlternateSetting& AddAlternate(UvcStreamingInterface& interface, std::uint8_t alternate);
void AddEndpoint(UvcStreamingInterface& interface, std::uint8_t alternate, std::span<const std::uint8_t> descriptor);
void AddSuperSpeedCompanion(UvcStreamingInterface& interface, std::span<const std::uint8_t> descriptor);

} // namespace vistrel::uvc
