#pragma once
// A media type as a pin offers it: major type, subtype, format type and the format block's bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "capture/contract/Guid.h"

namespace vistrel {

struct MediaType {
    Guid majorType;
    Guid subType;
    Guid formatType;
    std::vector<std::uint8_t> formatBlock;
};

// A VIDEOINFOHEADER: source and target rectangles, bit rates, frame time, then a BITMAPINFOHEADER.
constexpr std::size_t kVideoInfoHeaderSize = 88;
constexpr std::size_t kAvgTimePerFrameOffset = 40;
constexpr std::size_t kBitmapInfoHeaderOffset = 48;
constexpr std::size_t kBiWidthOffset = kBitmapInfoHeaderOffset + 4;
constexpr std::size_t kBiHeightOffset = kBitmapInfoHeaderOffset + 8;
constexpr std::size_t kBiBitCountOffset = kBitmapInfoHeaderOffset + 14;
constexpr std::size_t kBiCompressionOffset = kBitmapInfoHeaderOffset + 16;
constexpr std::size_t kBiSizeImageOffset = kBitmapInfoHeaderOffset + 20;

inline std::int32_t ReadInt32At(const std::vector<std::uint8_t>& block, std::size_t offset)
{
    std::int32_t v = 0;
    if (offset + sizeof v <= block.size())
        std::memcpy(&v, block.data() + offset, sizeof v);
    return v;
}

inline void WriteInt32At(std::vector<std::uint8_t>& block, std::size_t offset, std::int32_t v)
{
    if (offset + sizeof v <= block.size())
        std::memcpy(block.data() + offset, &v, sizeof v);
}

// A video format with a VIDEOINFOHEADER of the given pixel size; frameInterval in 100 ns units.
inline MediaType MakeVideoInfoType(const Guid& subType, std::int32_t width, std::int32_t height,
                                   std::int64_t frameInterval = 0, std::uint16_t bitCount = 24)
{
    MediaType mt {MEDIATYPE_Video, subType, FORMAT_VideoInfo, std::vector<std::uint8_t>(kVideoInfoHeaderSize, 0)};
    std::memcpy(mt.formatBlock.data() + kAvgTimePerFrameOffset, &frameInterval, sizeof frameInterval);
    WriteInt32At(mt.formatBlock, kBitmapInfoHeaderOffset, 40);
    WriteInt32At(mt.formatBlock, kBiWidthOffset, width);
    WriteInt32At(mt.formatBlock, kBiHeightOffset, height);
    std::memcpy(mt.formatBlock.data() + kBiBitCountOffset, &bitCount, sizeof bitCount);
    std::memcpy(mt.formatBlock.data() + kBiCompressionOffset, &subType.data1, sizeof subType.data1);
    return mt;
}

// True when the type carries a complete VIDEOINFOHEADER; width and height are then its bitmap size.
inline bool ReadVideoInfoSize(const MediaType& mt, std::int32_t& width, std::int32_t& height)
{
    if (mt.formatType != FORMAT_VideoInfo || mt.formatBlock.size() < kVideoInfoHeaderSize)
        return false;
    width = ReadInt32At(mt.formatBlock, kBiWidthOffset);
    height = ReadInt32At(mt.formatBlock, kBiHeightOffset);
    return true;
}

} // namespace vistrel
