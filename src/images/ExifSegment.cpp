#include "images/ExifSegment.h"

#include <cstdio>

namespace vistrel {

namespace {

enum TagType : std::uint16_t { Ascii = 2, Short = 3, Long = 4, Rational = 5, Undefined = 7 };

constexpr std::uint16_t kXResolution = 0x011A, kYResolution = 0x011B, kResolutionUnit = 0x0128,
                        kDateTime = 0x0132, kExifPointer = 0x8769, kExifVersion = 0x9000,
                        kDateTimeOriginal = 0x9003, kSubSecTimeOriginal = 0x9291;
constexpr std::uint16_t kUnitInch = 2;

// One IFD entry; values of up to 4 bytes sit inline, longer ones in the data area.
struct Entry
{
    std::uint16_t tag, type;
    std::uint32_t count;
    std::vector<std::uint8_t> value;
};

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    Put16(out, static_cast<std::uint16_t>(v));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
}

std::vector<std::uint8_t> AsciiValue(const std::string& text)
{
    std::vector<std::uint8_t> v(text.begin(), text.end());
    v.push_back(0);
    return v;
}

std::vector<std::uint8_t> RationalValue(std::uint32_t numerator, std::uint32_t denominator)
{
    std::vector<std::uint8_t> v;
    Put32(v, numerator);
    Put32(v, denominator);
    return v;
}

// Appends an IFD and its data area; offsets count from the TIFF header.
void WriteIfd(std::vector<std::uint8_t>& tiff, const std::vector<Entry>& entries)
{
    const std::size_t start = tiff.size();
    std::size_t data = start + 2 + entries.size() * 12 + 4;
    std::vector<std::uint8_t> dataArea;
    Put16(tiff, static_cast<std::uint16_t>(entries.size()));
    for (const Entry& e : entries) {
        Put16(tiff, e.tag);
        Put16(tiff, e.type);
        Put32(tiff, e.count);
        if (e.value.size() <= 4) {
            std::vector<std::uint8_t> inline4 = e.value;
            inline4.resize(4, 0);
            tiff.insert(tiff.end(), inline4.begin(), inline4.end());
        } else {
            Put32(tiff, static_cast<std::uint32_t>(data + dataArea.size()));
            dataArea.insert(dataArea.end(), e.value.begin(), e.value.end());
            if (dataArea.size() % 2 != 0) {
                dataArea.push_back(0);   // values start on word boundaries
            }
        }
    }
    Put32(tiff, 0);   // no next IFD
    tiff.insert(tiff.end(), dataArea.begin(), dataArea.end());
}

std::size_t IfdSize(const std::vector<Entry>& entries)
{
    std::size_t size = 2 + entries.size() * 12 + 4;
    for (const Entry& e : entries) {
        if (e.value.size() > 4) {
            size += e.value.size() + e.value.size() % 2;
        }
    }
    return size;
}

} // namespace

std::string ExifDateTime(const CaptureTime& time)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04u:%02u:%02u %02u:%02u:%02u", time.year % 10000u, time.month % 100u,
                  time.day % 100u, time.hour % 100u, time.minute % 100u, time.second % 100u);
    return text;
}

std::vector<std::uint8_t> ExifSegment(const CaptureTime& captureTime, std::int32_t dotsPerInch)
{
    const std::string when = ExifDateTime(captureTime);
    char subSeconds[8];
    std::snprintf(subSeconds, sizeof subSeconds, "%03u", captureTime.millisecond % 1000u);

    std::vector<Entry> ifd0;
    if (dotsPerInch > 0) {
        const auto dpi = static_cast<std::uint32_t>(dotsPerInch);
        ifd0.push_back({kXResolution, Rational, 1, RationalValue(dpi, 1)});
        ifd0.push_back({kYResolution, Rational, 1, RationalValue(dpi, 1)});
        ifd0.push_back({kResolutionUnit, Short, 1, {static_cast<std::uint8_t>(kUnitInch), 0}});
    }
    ifd0.push_back({kDateTime, Ascii, 20, AsciiValue(when)});
    ifd0.push_back({kExifPointer, Long, 1, {0, 0, 0, 0}});   // patched below
    const std::vector<Entry> exifIfd = {
        {kExifVersion, Undefined, 4, {'0', '2', '3', '2'}},
        {kDateTimeOriginal, Ascii, 20, AsciiValue(when)},
        {kSubSecTimeOriginal, Ascii, 4, AsciiValue(subSeconds)},
    };

    constexpr std::uint32_t kFirstIfd = 8;
    const auto exifOffset = static_cast<std::uint32_t>(kFirstIfd + IfdSize(ifd0));
    std::vector<std::uint8_t> pointer;
    Put32(pointer, exifOffset);
    ifd0.back().value = pointer;

    std::vector<std::uint8_t> tiff = {'I', 'I', 42, 0};
    Put32(tiff, kFirstIfd);
    WriteIfd(tiff, ifd0);
    WriteIfd(tiff, exifIfd);

    std::vector<std::uint8_t> segment = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    const std::size_t length = segment.size() - 2;   // the length counts itself, not the marker
    segment[2] = static_cast<std::uint8_t>(length >> 8);
    segment[3] = static_cast<std::uint8_t>(length);
    return segment;
}

} // namespace vistrel
