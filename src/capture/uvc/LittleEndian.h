#pragma once
// Little-endian fields of the video class's descriptors and control data.
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

namespace vistrel::uvc {

// The unsigned value of `size` bytes at `at`; the caller has checked that they lie inside.
inline std::uint64_t ReadLe(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size)
{
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;)
        value = value << 8 | bytes[at + i];
    return value;
}

inline std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(ReadLe(bytes, at, 2));
}

inline std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(ReadLe(bytes, at, 4));
}

// The field at `at` when the bytes reach it; `field` keeps its value otherwise.
template <class T>
void ReadField(std::span<const std::uint8_t> bytes, std::size_t at, T& field)
{
    static_assert(std::is_unsigned_v<T>);
    if (at + sizeof(T) <= bytes.size())
        field = static_cast<T>(ReadLe(bytes, at, sizeof(T)));
}

inline void AppendLe(std::vector<std::uint8_t>& bytes, std::uint64_t value, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

template <class T>
void AppendField(std::vector<std::uint8_t>& bytes, T field)
{
    static_assert(std::is_unsigned_v<T>);
    AppendLe(bytes, field, sizeof(T));
}

} // namespace vistrel::uvc
