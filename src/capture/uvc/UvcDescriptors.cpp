#include "capture/uvc/UvcDescriptors.h"

#include <linux/usb/ch9.h>
#include <linux/usb/video.h>

#include <algorithm>
#include <deque>
#include <utility>

#include "capture/uvc/LittleEndian.h"

namespace vistrel::uvc {

namespace {

constexpr std::uint8_t kTypeConfiguration = USB_DT_CONFIG;
constexpr std::uint8_t kTypeInterface = USB_DT_INTERFACE;
constexpr std::uint8_t kTypeEndpoint = USB_DT_ENDPOINT;
constexpr std::uint8_t kTypeSuperSpeedCompanion = USB_DT_SS_ENDPOINT_COMP;
constexpr std::uint8_t kTypeClassInterface = USB_DT_CS_INTERFACE;
constexpr std::uint8_t kClassVideo = USB_CLASS_VIDEO;
constexpr std::uint8_t kSubclassControl = UVC_SC_VIDEOCONTROL;
constexpr std::uint8_t kSubclassStreaming = UVC_SC_VIDEOSTREAMING;

constexpr std::uint8_t kVcHeader = UVC_VC_HEADER;
constexpr std::uint8_t kVcInputTerminal = UVC_VC_INPUT_TERMINAL;
constexpr std::uint8_t kVcProcessingUnit = UVC_VC_PROCESSING_UNIT;
constexpr std::uint8_t kVcExtensionUnit = UVC_VC_EXTENSION_UNIT;
constexpr std::uint16_t kCameraTerminalType = UVC_ITT_CAMERA;

// Fixed offsets inside the class-specific descriptors.
constexpr std::size_t kHeaderVersion = 3;
constexpr std::size_t kHeaderCollectionCount = 11;
constexpr std::size_t kUnitGuid = 4;
constexpr std::size_t kUnitNumControls = 20;
constexpr std::size_t kUnitNrInPins = 21;
constexpr std::size_t kUnitSources = 22;
constexpr std::size_t kTerminalType = 4;
constexpr std::size_t kTerminalControlSize = 14;
constexpr std::size_t kProcessingControlSize = 7;

std::optional<UvcExtensionUnit> ParseExtensionUnit(std::span<const std::uint8_t> d)
{
    if (d.size() <= kUnitNrInPins)
        return std::nullopt;
    const std::size_t pins = d[kUnitNrInPins];
    const std::size_t sizeAt = kUnitSources + pins;
    if (d.size() <= sizeAt)
        return std::nullopt;
    const std::size_t bitmapSize = d[sizeAt];
    // The bitmap and iExtension must lie inside the descriptor.
    if (d.size() < sizeAt + 1 + bitmapSize + 1)
        return std::nullopt;
    UvcExtensionUnit unit;
    unit.unitId = d[3];
    unit.guid = GuidFromBytes(d.subspan<kUnitGuid, 16>());
    unit.numControls = d[kUnitNumControls];
    unit.controls.bytes.assign(d.begin() + sizeAt + 1, d.begin() + sizeAt + 1 + bitmapSize);
    unit.body.assign(d.begin() + kUnitGuid, d.end());
    return unit;
}

// A terminal's or unit's bmControls: its size at sizeAt, the bitmap right after; none unless it all fits.
std::optional<ControlBitmap> BitmapAt(std::span<const std::uint8_t> d, std::size_t sizeAt)
{
    if (d.size() <= sizeAt || d.size() - sizeAt - 1 < d[sizeAt])
        return std::nullopt;
    const auto bitmap = d.subspan(sizeAt + 1, d[sizeAt]);
    return ControlBitmap {{bitmap.begin(), bitmap.end()}};
}

std::optional<UvcCameraTerminal> ParseCameraTerminal(std::span<const std::uint8_t> d)
{
    auto controls = BitmapAt(d, kTerminalControlSize);
    if (!controls || Le16(d, kTerminalType) != kCameraTerminalType)
        return std::nullopt;
    return UvcCameraTerminal {d[3], std::move(*controls)};
}

std::optional<UvcProcessingUnit> ParseProcessingUnit(std::span<const std::uint8_t> d)
{
    auto controls = BitmapAt(d, kProcessingControlSize);
    if (!controls)
        return std::nullopt;
    return UvcProcessingUnit {d[3], std::move(*controls)};
}

} // namespace

Guid GuidFromBytes(std::span<const std::uint8_t, 16> b)
{
    Guid g;
    g.data1 = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
              static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    g.data2 = static_cast<std::uint16_t>(b[4] | b[5] << 8);
    g.data3 = static_cast<std::uint16_t>(b[6] | b[7] << 8);
    std::copy(b.begin() + 8, b.end(), g.data4.begin());
    return g;
}

std::optional<UvcFunction> ParseUvcFunction(std::span<const std::uint8_t> descriptors, std::uint8_t controlInterface)
{
    UvcFunction function;
    function.controlInterface = controlInterface;
    bool controlFound = false;
    int configurations = 0;
    // The interface whose descriptors follow.
    struct Current
    {
        std::uint8_t number = 0;
        std::uint8_t alternate = 0;
        std::uint8_t subclass = 0;
        bool video = false;
    } current;
    std::deque<UvcStreamingInterface> streams; // every streaming interface met, of any function
    UvcStreamingInterface* stream = nullptr;   // the current interface's entry in streams
    bool afterStreamingEndpoint = false;

    std::size_t at = 0;
    while (descriptors.size() - at >= 2) {
        const std::size_t length = descriptors[at];
        if (length < 2 || length > descriptors.size() - at)
            break; // a length that cannot be trusted ends the walk
        const auto d = descriptors.subspan(at, length);
        at += length;
        const std::uint8_t type = d[1];
        const bool companionAllowed = std::exchange(afterStreamingEndpoint, false);

        if (type == kTypeConfiguration && ++configurations > 1)
            break;
        if (type == kTypeInterface) {
            current = {};
            stream = nullptr;
            if (length >= 9) {
                current = {d[2], d[3], d[6], d[5] == kClassVideo};
                if (current.video && current.subclass == kSubclassControl && current.alternate == 0 &&
                    current.number == controlInterface)
                    controlFound = true;
                if (current.video && current.subclass == kSubclassStreaming) {
                    const auto it = std::ranges::find(streams, current.number, &UvcStreamingInterface::number);
                    if (it != streams.end()) {
                        stream = &*it;
                    } else {
                        stream = &streams.emplace_back();
                        stream->number = current.number;
                    }
                    AddAlternate(*stream, current.alternate);
                }
            }
            continue;
        }
        if (type == kTypeEndpoint && stream) {
            AddEndpoint(*stream, current.alternate, d);
            afterStreamingEndpoint = true;
            continue;
        }
        if (type == kTypeSuperSpeedCompanion && companionAllowed) {
            AddSuperSpeedCompanion(*stream, d);
            continue;
        }
        if (type == kTypeEndpoint && current.video && current.subclass == kSubclassControl &&
            current.number == controlInterface && current.alternate == 0 && !function.statusEndpoint) {
            function.statusEndpoint = ParseEndpoint(d);
            continue;
        }
        // Class-specific descriptors belong to alternate setting 0.
        if (type != kTypeClassInterface || !current.video || current.alternate != 0 || length < 3)
            continue;

        const std::uint8_t subtype = d[2];
        if (current.subclass == kSubclassControl && current.number == controlInterface) {
            if (subtype == kVcHeader && length > kHeaderCollectionCount) {
                function.uvcVersion = Le16(d, kHeaderVersion);
                const std::size_t count = std::min<std::size_t>(d[kHeaderCollectionCount],
                                                                length - kHeaderCollectionCount - 1);
                function.streamingInterfaces.assign(d.begin() + kHeaderCollectionCount + 1,
                                                    d.begin() + kHeaderCollectionCount + 1 + count);
            } else if (subtype == kVcExtensionUnit) {
                if (auto unit = ParseExtensionUnit(d))
                    function.extensionUnits.push_back(std::move(*unit));
            } else if (subtype == kVcInputTerminal && !function.cameraTerminal) {
                function.cameraTerminal = ParseCameraTerminal(d);
            } else if (subtype == kVcProcessingUnit && !function.processingUnit) {
                function.processingUnit = ParseProcessingUnit(d);
            }
        } else if (stream) {
            AddStreamingDescriptor(*stream, d);
        }
    }
    if (!controlFound)
        return std::nullopt;
    for (auto& s : streams) {
        if (std::ranges::find(function.streamingInterfaces, s.number) == function.streamingInterfaces.end())
            continue;
        function.stillCaptureMethod = std::max(function.stillCaptureMethod, s.stillCaptureMethod);
        function.streaming.push_back(std::move(s));
    }
    return function;
}

} // namespace vistrel::uvc
