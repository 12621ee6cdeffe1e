#pragma once
#include "images/CapturedImage.h"

#include <cstdint>
#include <vector>

namespace vistrel {

// The ordered entries (at most kMaxEntries) and the selection (-1 = none). Window thread only.
// The selection is always -1 or a valid index; removals keep it on the same entry when it survives.
class ImageStrip
{
public:
    static constexpr int kMaxEntries = 12;

    int Count() const;
    bool IsFull() const;
    CapturedImage& At(int i);
    const CapturedImage& At(int i) const;
    int IndexOfId(std::uint64_t id) const;       // -1 when absent
    int Selection() const;
    void SetSelection(int i);                    // anything but a valid index means none
    int Append(CapturedImage entry);             // the position, or -1 when full (entry dropped)
    void RemoveAt(int i);                        // out of range: nothing
    bool RemoveById(std::uint64_t id);
    void Clear();

private:
    std::vector<CapturedImage> entries;
    int selectedImage = -1;
};

} // namespace vistrel
