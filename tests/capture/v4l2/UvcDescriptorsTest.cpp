#include <gtest/gtest.h>

#include "DescriptorFixtures.h"
#include "capture/uvc/UvcDescriptors.h"
#include "support/CaseName.h"

namespace vistrel::v4l2 {
namespace {

using test::DescriptorBuilder;
using test::kOtherUnitGuid;

const uvc::UvcExtensionUnit* UnitWithId(const uvc::UvcFunction& f, std::uint8_t id)
{
    for (const auto& unit : f.extensionUnits) {
        if (unit.unitId == id)
            return &unit;
    }
    return nullptr;
}

TEST(UvcDescriptors, ReadsTheScannersFunction)
{
    const auto bytes = test::ScannerDescriptors();
    const auto function = uvc::ParseUvcFunction(bytes, 0);
    ASSERT_TRUE(function);
    ASSERT_EQ(function->extensionUnits.size(), 2u);

    const uvc::UvcExtensionUnit* unit = UnitWithId(*function, 4);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->guid, PROPSETID_ScannerExtensionUnit);
    EXPECT_EQ(unit->numControls, 11);
    EXPECT_TRUE(unit->controls.Has(0));   // selector 1
    EXPECT_TRUE(unit->controls.Has(10));  // selector 11
    EXPECT_FALSE(unit->controls.Has(11));
    EXPECT_FALSE(unit->controls.Has(40)); // beyond the bitmap

    // The body starts at the extension code, the layout the engine reads: 16 = controls, 17 = pins,
    // 18 + p = bitmap size, then the bitmap.
    const auto& body = unit->body;
    ASSERT_EQ(body.size(), 16u + 1 + 1 + 1 + 1 + 2 + 1);
    EXPECT_EQ(std::vector<std::uint8_t>(body.begin(), body.begin() + 16), test::GuidBytes(PROPSETID_ScannerExtensionUnit));
    EXPECT_EQ(body[16], 11);
    EXPECT_EQ(body[17], 1);
    EXPECT_EQ(body[18], 3); // source unit
    EXPECT_EQ(body[19], 2);
    EXPECT_EQ(body[20], 0xFF);
    EXPECT_EQ(body[21], 0x07);

    ASSERT_TRUE(function->cameraTerminal);
    EXPECT_EQ(function->cameraTerminal->terminalId, 1);
    EXPECT_TRUE(function->cameraTerminal->controls.Has(uvc::kTerminalRollAbsoluteBit));
    EXPECT_EQ(function->streamingInterfaces, std::vector<std::uint8_t> {1});
    EXPECT_EQ(function->stillCaptureMethod, 2);
}

TEST(UvcDescriptors, GuidBytesAreLittleEndianFields)
{
    const auto bytes = test::GuidBytes(PROPSETID_ScannerExtensionUnit);
    EXPECT_EQ(bytes[0], 0x8C); // 1229A78C, least significant first
    EXPECT_EQ(bytes[4], 0xB4); // 47B4
    EXPECT_EQ(bytes[8], 0xB0);
    EXPECT_EQ(uvc::GuidFromBytes(std::span<const std::uint8_t, 16>(bytes.data(), 16)), PROPSETID_ScannerExtensionUnit);
}

TEST(UvcDescriptors, KeepsEachFunctionOfACompositeDeviceApart)
{
    const auto bytes = DescriptorBuilder()
                           .Device()
                           .Configuration()
                           .Interface(0, 0, 0x01)
                           .ControlHeader({1})
                           .ExtensionUnit(3, kOtherUnitGuid, 1, {1}, {0x01})
                           .Interface(1, 0, 0x02)
                           .StreamingInputHeader(0)
                           .Interface(2, 0, 0x01)
                           .ControlHeader({3})
                           .ExtensionUnit(6, PROPSETID_ScannerExtensionUnit, 2, {4}, {0x03})
                           .Interface(3, 0, 0x02)
                           .StreamingInputHeader(1)
                           .Bytes();
    const auto first = uvc::ParseUvcFunction(bytes, 0);
    const auto second = uvc::ParseUvcFunction(bytes, 2);
    ASSERT_TRUE(first && second);
    ASSERT_EQ(first->extensionUnits.size(), 1u);
    EXPECT_EQ(first->extensionUnits[0].unitId, 3);
    EXPECT_EQ(first->stillCaptureMethod, 0);
    ASSERT_EQ(second->extensionUnits.size(), 1u);
    EXPECT_EQ(second->extensionUnits[0].guid, PROPSETID_ScannerExtensionUnit);
    EXPECT_EQ(second->stillCaptureMethod, 1);
    EXPECT_FALSE(uvc::ParseUvcFunction(bytes, 1)) << "a streaming interface is no control interface";
    EXPECT_FALSE(uvc::ParseUvcFunction(bytes, 7));
}

TEST(UvcDescriptors, FormatDescriptorsOfStreamingInterfacesAreNoUnits)
{
    // VS_FORMAT_MJPEG shares subtype 0x06 with the extension unit.
    const auto bytes = DescriptorBuilder()
                           .Device()
                           .Configuration()
                           .Interface(0, 0, 0x01)
                           .ControlHeader({1})
                           .Interface(1, 0, 0x02)
                           .StreamingInputHeader(1)
                           .MjpegFormat(1)
                           .Bytes();
    const auto function = uvc::ParseUvcFunction(bytes, 0);
    ASSERT_TRUE(function);
    EXPECT_TRUE(function->extensionUnits.empty());
}

TEST(UvcDescriptors, OnlyTheFirstConfigurationCounts)
{
    const auto bytes = DescriptorBuilder()
                           .Device()
                           .Configuration()
                           .Interface(0, 0, 0x01)
                           .ControlHeader({})
                           .Configuration()
                           .Interface(0, 0, 0x01)
                           .ExtensionUnit(9, PROPSETID_ScannerExtensionUnit, 1, {}, {0x01})
                           .Bytes();
    const auto function = uvc::ParseUvcFunction(bytes, 0);
    ASSERT_TRUE(function);
    EXPECT_TRUE(function->extensionUnits.empty());
}

struct MalformedUnitCase
{
    const char* what;
    std::vector<std::uint8_t> sources;
    std::vector<std::uint8_t> bitmap;
    std::optional<std::uint8_t> length;
    bool exposed;
};

void PrintTo(const MalformedUnitCase& c, std::ostream* os) { *os << c.what; }

class MalformedUnit : public testing::TestWithParam<MalformedUnitCase>
{
};

TEST_P(MalformedUnit, IsSkippedOrKeptWithoutReadingPastIt)
{
    const MalformedUnitCase& c = GetParam();
    // The bad unit sits between two good ones, so a skipped unit must not derail the walk.
    const auto bytes = DescriptorBuilder()
                           .Device()
                           .Configuration()
                           .Interface(0, 0, 0x01)
                           .ControlHeader({1})
                           .ExtensionUnit(3, kOtherUnitGuid, 1, {1}, {0x01})
                           .ExtensionUnit(4, PROPSETID_ScannerExtensionUnit, 8, c.sources, c.bitmap, c.length)
                           .ExtensionUnit(5, kOtherUnitGuid, 1, {1}, {0x01})
                           .Bytes();
    const auto function = uvc::ParseUvcFunction(bytes, 0);
    ASSERT_TRUE(function) << c.what;
    EXPECT_NE(UnitWithId(*function, 3), nullptr) << c.what;
    const uvc::UvcExtensionUnit* unit = UnitWithId(*function, 4);
    EXPECT_EQ(unit != nullptr, c.exposed) << c.what;
    if (unit) {
        const std::size_t p = c.sources.size();
        ASSERT_GT(unit->body.size(), 18 + p) << c.what;
        EXPECT_EQ(unit->body[18 + p], c.bitmap.size()) << c.what;
        EXPECT_EQ(unit->controls.bytes, c.bitmap) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    UvcDescriptors, MalformedUnit,
    testing::Values(
        // The device's own declaration passes through; the engine judges a 5-byte bitmap.
        MalformedUnitCase {"bitmap of five bytes", {2}, {0xFF, 0, 0, 0, 0x01}, std::nullopt, true},
        MalformedUnitCase {"empty bitmap", {2}, {}, std::nullopt, true},
        MalformedUnitCase {"length one short of iExtension", {2}, {0x01}, 25, false},
        MalformedUnitCase {"length cuts the bitmap", {2}, {0xFF, 0xFF, 0xFF}, 25, false},
        MalformedUnitCase {"length ends before the pin count", {2}, {0x01}, 21, false},
        MalformedUnitCase {"length ends before the bitmap size", {2, 3, 4}, {0x01}, 25, false},
        MalformedUnitCase {"extra bytes after iExtension", {2}, {0x01}, 30, true}),
    vistrel::test::CaseName<&MalformedUnitCase::what> {});

TEST(UvcDescriptors, PinCountBeyondTheDescriptorIsRejected)
{
    auto builder = DescriptorBuilder().Device().Configuration().Interface(0, 0, 0x01).ControlHeader({1});
    auto unit = DescriptorBuilder().ExtensionUnit(4, PROPSETID_ScannerExtensionUnit, 2, {2}, {0x03}).Bytes();
    unit[21] = 200; // bNrInPins far beyond bLength
    const auto bytes = builder.Raw(unit).ExtensionUnit(5, kOtherUnitGuid, 1, {1}, {0x01}).Bytes();
    const auto function = uvc::ParseUvcFunction(bytes, 0);
    ASSERT_TRUE(function);
    ASSERT_EQ(function->extensionUnits.size(), 1u);
    EXPECT_EQ(function->extensionUnits[0].unitId, 5);
}

TEST(UvcDescriptors, UntrustworthyLengthsEndTheWalk)
{
    const auto good = DescriptorBuilder()
                          .Device()
                          .Configuration()
                          .Interface(0, 0, 0x01)
                          .ControlHeader({1})
                          .ExtensionUnit(3, kOtherUnitGuid, 1, {1}, {0x01})
                          .Bytes();
    for (const std::vector<std::uint8_t>& tail : {std::vector<std::uint8_t> {0, 0x24, 0x06, 4},    // bLength 0
                                                   std::vector<std::uint8_t> {1, 0x24},             // bLength 1
                                                   std::vector<std::uint8_t> {60, 0x24, 0x06, 4}}) { // past the end
        auto bytes = good;
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        bytes.insert(bytes.end(), good.begin() + 18 + 9, good.end()); // more descriptors that must not be reached
        const auto function = uvc::ParseUvcFunction(bytes, 0);
        ASSERT_TRUE(function);
        EXPECT_EQ(function->extensionUnits.size(), 1u);
    }
}

TEST(UvcDescriptors, EveryTruncationOfAScannerParsesSafely)
{
    const auto bytes = test::ScannerDescriptors();
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        // A copy of exactly this size, so that reading past it shows under a sanitizer.
        const std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        const auto function = uvc::ParseUvcFunction(prefix, 0);
        if (function) {
            for (const auto& unit : function->extensionUnits)
                EXPECT_GE(unit.body.size(), 16u + 4 + unit.controls.bytes.size());
        }
    }
    EXPECT_EQ(uvc::ParseUvcFunction(bytes, 0)->extensionUnits.size(), 2u);
}

TEST(UvcDescriptors, ShortTerminalAndHeaderDescriptorsAreIgnored)
{
    const auto bytes = DescriptorBuilder()
                           .Device()
                           .Configuration()
                           .Interface(0, 0, 0x01)
                           .Raw({13, 0x24, 0x01, 0x00, 0x01, 0, 0, 0x80, 0x8D, 0x5B, 0x00, 9, 1}) // claims 9 interfaces
                           .Raw({16, 0x24, 0x02, 1, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0xFF}) // bitmap cut
                           .Bytes();
    const auto function = uvc::ParseUvcFunction(bytes, 0);
    ASSERT_TRUE(function);
    EXPECT_EQ(function->streamingInterfaces, std::vector<std::uint8_t> {1});
    EXPECT_FALSE(function->cameraTerminal);
}

} // namespace
} // namespace vistrel::v4l2
