#include "ScannerDescriptors.h"

#include <array>
#include <initializer_list>

#include "capture/sim/ExtensionUnitModel.h"

namespace vistrel::uvcemu {
namespace {

// Descriptor types and the video class's subtypes.
constexpr std::uint8_t kTypeDevice = 0x01, kTypeConfiguration = 0x02, kTypeString = 0x03, kTypeInterface = 0x04,
                       kTypeEndpoint = 0x05, kTypeQualifier = 0x06, kTypeAssociation = 0x0B;
constexpr std::uint8_t kCsInterface = 0x24, kCsEndpoint = 0x25;
constexpr std::uint8_t kClassVideo = 0x0E, kSubclassControl = 0x01, kSubclassStreaming = 0x02,
                       kSubclassCollection = 0x03;
constexpr std::uint8_t kVcHeader = 0x01, kVcInputTerminal = 0x02, kVcOutputTerminal = 0x03,
                       kVcProcessingUnit = 0x05, kVcExtensionUnit = 0x06;
constexpr std::uint8_t kVsInputHeader = 0x01, kVsStillFrame = 0x03, kVsFormatMjpeg = 0x06, kVsFrameMjpeg = 0x07,
                       kVsColorMatching = 0x0D;
constexpr std::uint8_t kEpInterrupt = 0x03, kTransferInterrupt = 0x03, kTransferBulk = 0x02,
                       kTransferIsochronousAsync = 0x05;
constexpr std::uint8_t kIsoInterval = 1; // every microframe
constexpr std::uint16_t kUvcVersion = 0x0110;
constexpr std::uint32_t kClockFrequency = 48'000'000;
constexpr std::uint16_t kCameraTerminalType = 0x0201, kStreamingTerminalType = 0x0101;
constexpr std::uint8_t kStillMethod = 2;

// Camera terminal: zoom (9), pan/tilt (11) and roll (13) absolute. Processing unit: brightness (0),
// contrast (1), saturation (3), gamma (5).
constexpr std::array<std::uint8_t, 3> kTerminalControls {0x00, 0x2A, 0x00};
constexpr std::array<std::uint8_t, 2> kProcessingControls {0x2B, 0x00};

enum StringIndex : std::uint8_t { kLanguages = 0, kManufacturer = 1, kProduct = 2, kSerial = 3 };
constexpr std::uint16_t kLanguageEnglishUs = 0x0409;

class Bytes {
public:
    Bytes& u8(std::uint32_t v) { data.push_back(std::uint8_t(v)); return *this; }
    Bytes& u16(std::uint32_t v) { return u8(v).u8(v >> 8); }
    Bytes& u32(std::uint32_t v) { return u16(v).u16(v >> 16); }
    Bytes& raw(std::span<const std::uint8_t> b) { data.insert(data.end(), b.begin(), b.end()); return *this; }
    // Appends a descriptor whose first byte is its own length.
    Bytes& descriptor(const Bytes& body)
    {
        u8(body.data.size() + 1);
        return raw(body.data);
    }
    std::vector<std::uint8_t> data;
};

Bytes Interface(std::uint8_t number, std::uint8_t endpoints, std::uint8_t subclass, std::uint8_t alternate = 0)
{
    Bytes b;
    b.u8(kTypeInterface).u8(number).u8(alternate).u8(endpoints).u8(kClassVideo).u8(subclass).u8(0).u8(0);
    return b;
}

Bytes Endpoint(std::uint8_t address, std::uint8_t attributes, std::uint16_t packetSize, std::uint8_t interval)
{
    Bytes b;
    b.u8(kTypeEndpoint).u8(address).u8(attributes).u16(packetSize).u8(interval);
    return b;
}

std::vector<std::uint8_t> ControlInterfaceBody(const sim::ScannerFaults& unitShape)
{
    Bytes units;
    Bytes camera;
    camera.u8(kCsInterface).u8(kVcInputTerminal).u8(kCameraTerminalId).u16(kCameraTerminalType).u8(0).u8(0)
        .u16(0).u16(0).u16(0).u8(kTerminalControls.size()).raw(kTerminalControls);
    units.descriptor(camera);
    Bytes processing;
    processing.u8(kCsInterface).u8(kVcProcessingUnit).u8(kProcessingUnitId).u8(kCameraTerminalId).u16(0)
        .u8(kProcessingControls.size()).raw(kProcessingControls).u8(0);
    units.descriptor(processing);
    Bytes extension;
    extension.u8(kCsInterface).u8(kVcExtensionUnit).u8(kExtensionUnitId)
        .raw(sim::ExtensionUnitModel::Descriptor(unitShape));
    units.descriptor(extension);
    Bytes output;
    output.u8(kCsInterface).u8(kVcOutputTerminal).u8(kOutputTerminalId).u16(kStreamingTerminalType).u8(0)
        .u8(kExtensionUnitId).u8(0);
    units.descriptor(output);

    constexpr std::size_t kHeaderLength = 13; // one streaming interface in the collection
    Bytes header;
    header.u8(kCsInterface).u8(kVcHeader).u16(kUvcVersion).u16(kHeaderLength + units.data.size())
        .u32(kClockFrequency).u8(1).u8(kStreamingInterface);
    Bytes all;
    all.descriptor(header).raw(units.data);
    return all.data;
}

std::vector<std::uint8_t> StreamingInterfaceBody()
{
    Bytes formats;
    Bytes format;
    format.u8(kCsInterface).u8(kVsFormatMjpeg).u8(kMjpegFormatIndex).u8(std::size(kVideoFrames))
        .u8(1 /* fixed-size samples */).u8(1 /* default frame */).u8(0).u8(0).u8(0).u8(0);
    formats.descriptor(format);
    std::uint8_t index = 1;
    for (const auto& size : kVideoFrames) {
        const std::uint32_t bitRate = MaxFrameBytes(size) * 8 * (10'000'000 / kFrameInterval);
        Bytes frame;
        frame.u8(kCsInterface).u8(kVsFrameMjpeg).u8(index++).u8(0).u16(size.width).u16(size.height)
            .u32(bitRate / 4).u32(bitRate).u32(MaxFrameBytes(size)).u32(kFrameInterval).u8(1).u32(kFrameInterval);
        formats.descriptor(frame);
    }
    Bytes still;
    still.u8(kCsInterface).u8(kVsStillFrame).u8(0 /* method 2: the video endpoint */).u8(std::size(kStillFrames));
    for (const auto& size : kStillFrames)
        still.u16(size.width).u16(size.height);
    still.u8(0); // no compression patterns
    formats.descriptor(still);
    Bytes colour;
    colour.u8(kCsInterface).u8(kVsColorMatching).u8(1).u8(1).u8(4);
    formats.descriptor(colour);

    constexpr std::size_t kHeaderLength = 14; // one format, one byte of controls
    Bytes header;
    header.u8(kCsInterface).u8(kVsInputHeader).u8(1).u16(kHeaderLength + formats.data.size()).u8(kVideoEndpoint)
        .u8(0).u8(kOutputTerminalId).u8(kStillMethod).u8(1 /* hardware trigger */).u8(0 /* it takes a still */)
        .u8(1).u8(0);
    Bytes all;
    all.descriptor(header).raw(formats.data);
    return all.data;
}

} // namespace

std::uint32_t MaxFrameBytes(FrameSize size)
{
    // Quality 92 JPEG of a film frame stays far below two bytes a pixel.
    return std::uint32_t(size.width) * std::uint32_t(size.height) * 2;
}

std::size_t IsoBytesPerInterval(std::uint8_t alternateSetting)
{
    if (alternateSetting == 0 || alternateSetting > std::size(kIsoMaxPacketSizes))
        return 0;
    const std::uint16_t w = kIsoMaxPacketSizes[alternateSetting - 1];
    return std::size_t(w & 0x07FF) * (((w >> 11) & 0x03) + 1);
}

std::vector<std::uint8_t> DeviceDescriptor()
{
    Bytes b;
    b.u8(kTypeDevice).u16(0x0200).u8(0xEF).u8(0x02).u8(0x01).u8(kControlPacketSize).u16(kVendorId).u16(kProductId)
        .u16(0x0100).u8(kManufacturer).u8(kProduct).u8(kSerial).u8(1);
    Bytes d;
    return d.descriptor(b).data;
}

std::vector<std::uint8_t> DeviceQualifier()
{
    Bytes b;
    b.u8(kTypeQualifier).u16(0x0200).u8(0xEF).u8(0x02).u8(0x01).u8(kControlPacketSize).u8(1).u8(0);
    Bytes d;
    return d.descriptor(b).data;
}

std::vector<std::uint8_t> ConfigurationDescriptor(const sim::ScannerFaults& unitShape, VideoTransfer transfer)
{
    Bytes body;
    Bytes association;
    association.u8(kTypeAssociation).u8(kControlInterface).u8(2).u8(kClassVideo).u8(kSubclassCollection).u8(0)
        .u8(kProduct);
    body.descriptor(association);
    body.descriptor(Interface(kControlInterface, 1, kSubclassControl)).raw(ControlInterfaceBody(unitShape));
    body.descriptor(Endpoint(kStatusEndpoint, kTransferInterrupt, kStatusPacketSize, 8));
    Bytes statusEndpoint;
    statusEndpoint.u8(kCsEndpoint).u8(kEpInterrupt).u16(kStatusPacketSize);
    body.descriptor(statusEndpoint);
    if (transfer == VideoTransfer::Bulk) {
        body.descriptor(Interface(kStreamingInterface, 1, kSubclassStreaming)).raw(StreamingInterfaceBody());
        body.descriptor(Endpoint(kVideoEndpoint, kTransferBulk, kBulkPacketSize, 0));
    } else {
        // Alternate setting 0 takes no bandwidth; the class-specific descriptors belong to it.
        body.descriptor(Interface(kStreamingInterface, 0, kSubclassStreaming)).raw(StreamingInterfaceBody());
        std::uint8_t alternate = 1;
        for (const std::uint16_t packetSize : kIsoMaxPacketSizes) {
            body.descriptor(Interface(kStreamingInterface, 1, kSubclassStreaming, alternate++));
            body.descriptor(Endpoint(kVideoEndpoint, kTransferIsochronousAsync, packetSize, kIsoInterval));
        }
    }

    constexpr std::size_t kConfigLength = 9;
    Bytes config;
    config.u8(kConfigLength).u8(kTypeConfiguration).u16(kConfigLength + body.data.size()).u8(2).u8(1).u8(0)
        .u8(0x80 /* bus powered */).u8(250 /* 500 mA */).raw(body.data);
    return config.data;
}

std::optional<std::vector<std::uint8_t>> StringDescriptor(std::uint8_t index)
{
    static const char* const kStrings[] {nullptr, "Vistrel", "Vistrel USB Film Scanner", "VFS0001"};
    Bytes b;
    b.u8(kTypeString);
    if (index == kLanguages) {
        b.u16(kLanguageEnglishUs);
    } else if (index < std::size(kStrings)) {
        for (const char* c = kStrings[index]; *c; ++c)
            b.u16(std::uint8_t(*c));
    } else {
        return std::nullopt;
    }
    Bytes d;
    return d.descriptor(b).data;
}

} // namespace vistrel::uvcemu
