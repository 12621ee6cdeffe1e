#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vistrel {

// Working memory that one thread reuses from file to file, so that the big bitmaps of a save are
// not mapped and faulted in afresh each time. Grows, never shrinks; contents are not kept.
class ScratchBuffer
{
public:
    std::uint8_t* Reserve(std::size_t bytes)
    {
        if (bytes > capacity) {
            data.reset();
            data = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
            capacity = bytes;
        }
        return data.get();
    }
    std::size_t Capacity() const { return capacity; }

private:
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t capacity = 0;
};

// What one saving thread keeps between files: the decoded still. The output is never held whole.
struct SaveScratch
{
    ScratchBuffer decoded;
};

} // namespace vistrel
