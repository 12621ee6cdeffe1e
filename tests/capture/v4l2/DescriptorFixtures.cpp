#include "DescriptorFixtures.h"

#include <algorithm>

namespace vistrel::v4l2::test {

std::vector<std::uint8_t> GuidBytes(const Guid& g)
{
    std::vector<std::uint8_t> b(16);
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<std::uint8_t>(g.data1 >> (8 * i));
    for (int i = 0; i < 2; ++i) {
        b[4 + i] = static_cast<std::uint8_t>(g.data2 >> (8 * i));
        b[6 + i] = static_cast<std::uint8_t>(g.data3 >> (8 * i));
    }
    std::copy(g.data4.begin(), g.data4.end(), b.begin() + 8);
    return b;
}

DescriptorBuilder& DescriptorBuilder::Device()
{
    return Raw({18, 0x01, 0x00, 0x02, 0xEF, 0x02, 0x01, 0x40, 0x88, 0x88, 0x01, 0x00, 0x00, 0x01, 1, 2, 0, 1});
}

DescriptorBuilder& DescriptorBuilder::Configuration()
{
    // wTotalLength is not trusted by the parser; leave it 0.
    return Raw({9, 0x02, 0, 0, 2, 1, 0, 0x80, 250});
}

DescriptorBuilder& DescriptorBuilder::Interface(std::uint8_t number, std::uint8_t alternate, std::uint8_t subclass,
                                                std::uint8_t interfaceClass)
{
    return Raw({9, 0x04, number, alternate, 1, interfaceClass, subclass, 0, 0});
}

DescriptorBuilder& DescriptorBuilder::ControlHeader(const std::vector<std::uint8_t>& streaming)
{
    std::vector<std::uint8_t> d = {static_cast<std::uint8_t>(12 + streaming.size()), 0x24, 0x01, 0x00, 0x01, 0, 0,
                                   0x80, 0x8D, 0x5B, 0x00, static_cast<std::uint8_t>(streaming.size())};
    d.insert(d.end(), streaming.begin(), streaming.end());
    return Raw(d);
}

DescriptorBuilder& DescriptorBuilder::CameraTerminal(std::uint8_t id, const std::vector<std::uint8_t>& controls)
{
    std::vector<std::uint8_t> d = {static_cast<std::uint8_t>(15 + controls.size()), 0x24, 0x02, id, 0x01, 0x02,
                                   0, 0, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(controls.size())};
    d.insert(d.end(), controls.begin(), controls.end());
    return Raw(d);
}

DescriptorBuilder& DescriptorBuilder::ProcessingUnit(std::uint8_t id, std::uint8_t source)
{
    return Raw({11, 0x24, 0x05, id, source, 0, 0, 2, 0x7F, 0x15, 0});
}

DescriptorBuilder& DescriptorBuilder::ExtensionUnit(std::uint8_t id, const Guid& guid, std::uint8_t numControls,
                                                    const std::vector<std::uint8_t>& sources,
                                                    const std::vector<std::uint8_t>& bitmap,
                                                    std::optional<std::uint8_t> lengthOverride)
{
    std::vector<std::uint8_t> d = {0, 0x24, 0x06, id};
    const auto g = GuidBytes(guid);
    d.insert(d.end(), g.begin(), g.end());
    d.push_back(numControls);
    d.push_back(static_cast<std::uint8_t>(sources.size()));
    d.insert(d.end(), sources.begin(), sources.end());
    d.push_back(static_cast<std::uint8_t>(bitmap.size()));
    d.insert(d.end(), bitmap.begin(), bitmap.end());
    d.push_back(0); // iExtension
    d[0] = lengthOverride.value_or(static_cast<std::uint8_t>(d.size()));
    return Raw(d);
}

DescriptorBuilder& DescriptorBuilder::StreamingInputHeader(std::uint8_t stillMethod)
{
    return Raw({14, 0x24, 0x01, 1, 0, 0, 0x81, 0, 3, stillMethod, 1, 0, 1, 0});
}

DescriptorBuilder& DescriptorBuilder::MjpegFormat(std::uint8_t index)
{
    return Raw({11, 0x24, 0x06, index, 2, 0x01, 1, 0, 0, 0, 0});
}

DescriptorBuilder& DescriptorBuilder::Endpoint(std::uint8_t address)
{
    return Raw({7, 0x05, address, 0x05, 0x00, 0x0C, 1});
}

namespace {

void Put16(std::vector<std::uint8_t>& d, std::uint32_t v)
{
    d.push_back(static_cast<std::uint8_t>(v));
    d.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& d, std::uint32_t v)
{
    Put16(d, v);
    Put16(d, v >> 16);
}

} // namespace

DescriptorBuilder& DescriptorBuilder::InputHeader(std::uint8_t endpoint, std::uint8_t stillMethod, std::uint8_t formats)
{
    std::vector<std::uint8_t> d = {static_cast<std::uint8_t>(13 + formats), 0x24, 0x01, formats, 0, 0, endpoint, 0, 3,
                                   stillMethod, 1, 0, 1};
    d.resize(d[0], 0);
    return Raw(d);
}

DescriptorBuilder& DescriptorBuilder::UncompressedFormat(std::uint8_t index, std::uint8_t frames, const Guid& guid)
{
    std::vector<std::uint8_t> d = {27, 0x24, 0x04, index, frames};
    const auto g = GuidBytes(guid);
    d.insert(d.end(), g.begin(), g.end());
    d.insert(d.end(), {16, 1, 0, 0, 0, 0});
    return Raw(d);
}

DescriptorBuilder& DescriptorBuilder::Frame(std::uint8_t subtype, std::uint8_t index, std::uint16_t width,
                                            std::uint16_t height, std::uint32_t bufferSize,
                                            const std::vector<std::uint32_t>& intervals, bool continuous)
{
    std::vector<std::uint8_t> d = {0, 0x24, subtype, index, 0};
    Put16(d, width);
    Put16(d, height);
    Put32(d, 1000000);   // minimum bit rate
    Put32(d, 90000000);  // maximum bit rate
    Put32(d, bufferSize);
    Put32(d, intervals.empty() ? 0 : intervals.front());
    d.push_back(continuous ? 0 : static_cast<std::uint8_t>(intervals.size()));
    for (const std::uint32_t interval : intervals)
        Put32(d, interval);
    d[0] = static_cast<std::uint8_t>(d.size());
    return Raw(d);
}

DescriptorBuilder& DescriptorBuilder::StillImageFrame(std::uint8_t endpoint,
                                                      const std::vector<std::pair<std::uint16_t, std::uint16_t>>& sizes,
                                                      const std::vector<std::uint8_t>& compressions)
{
    std::vector<std::uint8_t> d = {0, 0x24, 0x03, endpoint, static_cast<std::uint8_t>(sizes.size())};
    for (const auto& [w, h] : sizes) {
        Put16(d, w);
        Put16(d, h);
    }
    d.push_back(static_cast<std::uint8_t>(compressions.size()));
    d.insert(d.end(), compressions.begin(), compressions.end());
    d[0] = static_cast<std::uint8_t>(d.size());
    return Raw(d);
}

DescriptorBuilder& DescriptorBuilder::Endpoint(std::uint8_t address, std::uint8_t attributes, std::uint16_t maxPacketSize)
{
    std::vector<std::uint8_t> d = {7, 0x05, address, attributes};
    Put16(d, maxPacketSize);
    d.push_back(1);
    return Raw(d);
}

DescriptorBuilder& DescriptorBuilder::SuperSpeedCompanion(std::uint16_t bytesPerInterval)
{
    std::vector<std::uint8_t> d = {6, 0x30, 0, 0};
    Put16(d, bytesPerInterval);
    return Raw(d);
}

DescriptorBuilder& DescriptorBuilder::Raw(const std::vector<std::uint8_t>& more)
{
    bytes.insert(bytes.end(), more.begin(), more.end());
    return *this;
}

std::vector<std::uint8_t> ScannerDescriptors()
{
    return DescriptorBuilder()
        .Device()
        .Configuration()
        .Raw({8, 0x0B, 0, 2, 0x0E, 0x03, 0, 2}) // interface association
        .Interface(0, 0, 0x01)
        .ControlHeader({1})
        .CameraTerminal(1, {0x00, 0x20, 0x00}) // roll absolute (bit 13)
        .ProcessingUnit(2, 1)
        .ExtensionUnit(3, kOtherUnitGuid, 2, {2}, {0x03})
        .ExtensionUnit(4, PROPSETID_ScannerExtensionUnit, 11, {3}, {0xFF, 0x07})
        .Raw({9, 0x24, 0x03, 5, 0x01, 0x01, 0, 4, 0}) // output terminal
        .Endpoint(0x83)
        .Interface(1, 0, 0x02)
        .StreamingInputHeader(2)
        .MjpegFormat(1)
        .Interface(1, 1, 0x02)
        .Endpoint(0x81)
        .Bytes();
}

} // namespace vistrel::v4l2::test
