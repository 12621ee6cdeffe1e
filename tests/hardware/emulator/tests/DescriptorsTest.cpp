// The descriptors as the host's parsers see them: the program's own UVC parser finds the scanner's unit,
// and every descriptor's declared lengths agree with what follows.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ScannerDescriptors.h"
#include "StreamingRequests.h"
#include "capture/sim/ExtensionUnitModel.h"
#include "capture/uvc/UvcDescriptors.h"

namespace vistrel::uvcemu {
namespace {

std::vector<std::uint8_t> SysfsDescriptors(VideoTransfer transfer = VideoTransfer::Bulk)
{
    auto bytes = DeviceDescriptor();
    const auto config = ConfigurationDescriptor({}, transfer);
    bytes.insert(bytes.end(), config.begin(), config.end());
    return bytes;
}

std::uint16_t Le16(const std::vector<std::uint8_t>& d, std::size_t at) { return std::uint16_t(d[at] | d[at + 1] << 8); }

constexpr VideoTransfer kTransfers[] {VideoTransfer::Bulk, VideoTransfer::Isochronous};

const char* Name(VideoTransfer t) { return t == VideoTransfer::Bulk ? "bulk" : "isochronous"; }

TEST(Descriptors, TheBackendsParserFindsTheScannersUnitTerminalAndStillMethod)
{
    for (const auto transfer : kTransfers) {
        SCOPED_TRACE(Name(transfer));
        const auto function = uvc::ParseUvcFunction(SysfsDescriptors(transfer), kControlInterface);
        ASSERT_TRUE(function);
        ASSERT_EQ(function->extensionUnits.size(), 1u);
        const auto& unit = function->extensionUnits[0];
        EXPECT_EQ(unit.unitId, kExtensionUnitId);
        EXPECT_EQ(unit.guid, PROPSETID_ScannerExtensionUnit);
        EXPECT_EQ(unit.body, sim::ExtensionUnitModel::Descriptor({}));
        EXPECT_TRUE(unit.controls.Has(sim::ExtensionUnitModel::kCommandControl - 1));
        EXPECT_TRUE(unit.controls.Has(sim::ExtensionUnitModel::kIdentityControl - 1));
        ASSERT_TRUE(function->cameraTerminal);
        EXPECT_EQ(function->cameraTerminal->terminalId, kCameraTerminalId);
        EXPECT_TRUE(function->cameraTerminal->controls.Has(uvc::kTerminalRollAbsoluteBit));
        EXPECT_EQ(function->streamingInterfaces, std::vector<std::uint8_t>{kStreamingInterface});
        EXPECT_EQ(function->stillCaptureMethod, 2);
        EXPECT_FALSE(uvc::ParseUvcFunction(SysfsDescriptors(transfer), kStreamingInterface));
    }
}

struct Endpoint {
    int alternate;
    std::uint8_t address, attributes;
    std::uint16_t maxPacketSize;
    bool operator==(const Endpoint&) const = default;
};

TEST(Descriptors, LengthsAndCountsAgreeWithTheBytes)
{
    const auto device = DeviceDescriptor();
    ASSERT_EQ(device.size(), 18u);
    EXPECT_EQ(Le16(device, 8), kVendorId);
    EXPECT_EQ(Le16(device, 10), kProductId);

    // The video endpoint: bulk, or isochronous in settings 1.. of growing bandwidth (0 has none), the
    // last one high-bandwidth (three 1024-byte transactions a microframe).
    const std::vector<Endpoint> bulkVideo {{0, kVideoEndpoint, 0x02, 512}};
    const std::vector<Endpoint> isoVideo {{1, kVideoEndpoint, 0x05, 512}, {2, kVideoEndpoint, 0x05, 1024},
                                          {3, kVideoEndpoint, 0x05, 0x0C00}, {4, kVideoEndpoint, 0x05, 0x1400}};
    for (const auto transfer : kTransfers) {
        SCOPED_TRACE(Name(transfer));
        const auto config = ConfigurationDescriptor({}, transfer);
        ASSERT_EQ(Le16(config, 2), config.size());
        // Walk: every descriptor inside the configuration, class-specific totals, counts per type.
        std::map<std::uint8_t, int> subtypes; // class-specific interface subtypes seen in the streaming interface
        std::size_t vcHeaderAt = 0, vsHeaderAt = 0, vcEnd = 0, vsEnd = 0;
        int interface = -1, alternate = 0;
        std::set<int> interfaces;
        std::vector<Endpoint> video;
        std::vector<std::pair<int, int>> stillSizes;
        for (std::size_t at = 0; at < config.size();) {
            const std::size_t length = config[at];
            ASSERT_GE(length, 2u) << "at " << at;
            ASSERT_LE(at + length, config.size()) << "at " << at;
            const std::uint8_t type = config[at + 1];
            if (type == 0x04) {
                interface = config[at + 2];
                alternate = config[at + 3];
                interfaces.insert(interface);
            } else if (type == 0x05) {
                if (interface == kStreamingInterface)
                    video.push_back({alternate, config[at + 2], config[at + 3], Le16(config, at + 4)});
            } else if (type == 0x24) {
                const std::uint8_t subtype = config[at + 2];
                if (interface == kControlInterface) {
                    if (subtype == 0x01)
                        vcHeaderAt = at;
                    vcEnd = at + length;
                } else {
                    EXPECT_EQ(alternate, 0) << "class-specific descriptors belong to setting 0";
                    ++subtypes[subtype];
                    if (subtype == 0x01)
                        vsHeaderAt = at;
                    if (subtype == 0x03)
                        for (int i = 0; i < config[at + 4]; ++i)
                            stillSizes.emplace_back(Le16(config, at + 5 + 4 * i), Le16(config, at + 7 + 4 * i));
                    vsEnd = at + length;
                }
            }
            at += length;
        }
        EXPECT_EQ(int(interfaces.size()), config[4]);
        EXPECT_EQ(video, transfer == VideoTransfer::Bulk ? bulkVideo : isoVideo);
        EXPECT_EQ(Le16(config, vcHeaderAt + 5), vcEnd - vcHeaderAt);
        EXPECT_EQ(Le16(config, vsHeaderAt + 4), vsEnd - vsHeaderAt);
        EXPECT_EQ(subtypes[0x07], int(std::size(kVideoFrames)));
        EXPECT_EQ(subtypes[0x06], 1);
        EXPECT_EQ(subtypes[0x03], 1);
        EXPECT_EQ(stillSizes, (std::vector<std::pair<int, int>> {{2592, 1944}, {2448, 2448}}));
    }
}

// A host takes the smallest setting whose bytes per microframe cover the negotiated payload size: the two
// video sizes land on different settings, the larger one on the high-bandwidth setting.
TEST(Descriptors, EachVideoSizeHasAnIsochronousSettingThatCarriesIt)
{
    const auto smallestCovering = [](std::uint32_t payload) {
        for (std::uint8_t alt = 1; IsoBytesPerInterval(alt) != 0; ++alt)
            if (IsoBytesPerInterval(alt) >= payload)
                return int(alt);
        return 0;
    };
    EXPECT_EQ(IsoBytesPerInterval(0), 0u);
    std::vector<int> chosen;
    for (std::uint8_t frame = 1; frame <= std::size(kVideoFrames); ++frame) {
        const auto probe = StreamingRequests::Negotiate({0, kMjpegFormatIndex, frame}, VideoTransfer::Isochronous);
        chosen.push_back(smallestCovering(probe.maxPayloadTransferSize));
    }
    EXPECT_EQ(chosen, (std::vector<int> {4, 3}));
    EXPECT_EQ(smallestCovering(StreamingRequests::NegotiateStill({}, VideoTransfer::Isochronous).maxPayloadTransferSize), 4);
}

TEST(Descriptors, StringsAreUtf16WithTheLanguageListFirst)
{
    const auto languages = StringDescriptor(0);
    ASSERT_TRUE(languages);
    EXPECT_EQ(*languages, (std::vector<std::uint8_t> {4, 3, 0x09, 0x04}));
    const auto product = StringDescriptor(2);
    ASSERT_TRUE(product);
    EXPECT_EQ((*product)[0], product->size());
    EXPECT_EQ(product->size() % 2, 0u);
    EXPECT_FALSE(StringDescriptor(9));
}

} // namespace
} // namespace vistrel::uvcemu
