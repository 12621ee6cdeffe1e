// The descriptors as the host's parsers see them: the program's own UVC parser finds the scanner's unit,
// and every descriptor's declared lengths agree with what follows.
#include <gtest/gtest.h>

#include <map>

#include "ScannerDescriptors.h"
#include "capture/sim/ExtensionUnitModel.h"
#include "capture/v4l2/UvcDescriptors.h"

namespace vistrel::uvcemu {
namespace {

std::vector<std::uint8_t> SysfsDescriptors()
{
    auto bytes = DeviceDescriptor();
    const auto config = ConfigurationDescriptor({});
    bytes.insert(bytes.end(), config.begin(), config.end());
    return bytes;
}

std::uint16_t Le16(const std::vector<std::uint8_t>& d, std::size_t at) { return std::uint16_t(d[at] | d[at + 1] << 8); }

TEST(Descriptors, TheBackendsParserFindsTheScannersUnitTerminalAndStillMethod)
{
    const auto function = v4l2::ParseUvcFunction(SysfsDescriptors(), kControlInterface);
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
    EXPECT_TRUE(function->cameraTerminal->controls.Has(v4l2::kTerminalRollAbsoluteBit));
    EXPECT_EQ(function->streamingInterfaces, std::vector<std::uint8_t>{kStreamingInterface});
    EXPECT_EQ(function->stillCaptureMethod, 2);
    EXPECT_FALSE(v4l2::ParseUvcFunction(SysfsDescriptors(), kStreamingInterface));
}

TEST(Descriptors, LengthsAndCountsAgreeWithTheBytes)
{
    const auto device = DeviceDescriptor();
    ASSERT_EQ(device.size(), 18u);
    EXPECT_EQ(Le16(device, 8), kVendorId);
    EXPECT_EQ(Le16(device, 10), kProductId);

    const auto config = ConfigurationDescriptor({});
    ASSERT_EQ(Le16(config, 2), config.size());
    // Walk: every descriptor inside the configuration, class-specific totals, counts per type.
    std::map<std::uint8_t, int> subtypes; // class-specific interface subtypes seen in the streaming interface
    std::size_t vcHeaderAt = 0, vsHeaderAt = 0, vcEnd = 0, vsEnd = 0;
    int interface = -1, interfaces = 0, endpoints = 0;
    std::vector<std::pair<int, int>> stillSizes;
    for (std::size_t at = 0; at < config.size();) {
        const std::size_t length = config[at];
        ASSERT_GE(length, 2u) << "at " << at;
        ASSERT_LE(at + length, config.size()) << "at " << at;
        const std::uint8_t type = config[at + 1];
        if (type == 0x04) {
            interface = config[at + 2];
            ++interfaces;
        } else if (type == 0x05) {
            ++endpoints;
        } else if (type == 0x24) {
            const std::uint8_t subtype = config[at + 2];
            if (interface == kControlInterface) {
                if (subtype == 0x01)
                    vcHeaderAt = at;
                vcEnd = at + length;
            } else {
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
    EXPECT_EQ(interfaces, config[4]);
    EXPECT_EQ(endpoints, 2);
    EXPECT_EQ(Le16(config, vcHeaderAt + 5), vcEnd - vcHeaderAt);
    EXPECT_EQ(Le16(config, vsHeaderAt + 4), vsEnd - vsHeaderAt);
    EXPECT_EQ(subtypes[0x07], int(std::size(kVideoFrames)));
    EXPECT_EQ(subtypes[0x06], 1);
    EXPECT_EQ(subtypes[0x03], 1);
    EXPECT_EQ(stillSizes, (std::vector<std::pair<int, int>> {{2592, 1944}, {2448, 2448}}));
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
