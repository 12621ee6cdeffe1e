#include "images/ImageStrip.h"

#include <algorithm>
#include <utility>

namespace vistrel {

int ImageStrip::Count() const
{
    return static_cast<int>(entries.size());
}

bool ImageStrip::IsFull() const
{
    return Count() >= kMaxEntries;
}

CapturedImage& ImageStrip::At(int i)
{
    return entries.at(static_cast<std::size_t>(i));
}

const CapturedImage& ImageStrip::At(int i) const
{
    return entries.at(static_cast<std::size_t>(i));
}

int ImageStrip::IndexOfId(std::uint64_t id) const
{
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [id](const CapturedImage& e) { return e.id == id; });
    return found == entries.end() ? -1 : static_cast<int>(found - entries.begin());
}

int ImageStrip::Selection() const
{
    return selectedImage;
}

void ImageStrip::SetSelection(int i)
{
    selectedImage = (i >= 0 && i < Count()) ? i : -1;
}

int ImageStrip::Append(CapturedImage entry)
{
    if (IsFull()) {
        return -1;
    }
    if (entry.id == 0) {
        entry.id = NextImageId();
    }
    if (entry.frameData && entry.frameSize == 0) {
        entry.frameSize = static_cast<std::int32_t>(entry.frameData->size());
    }
    entries.push_back(std::move(entry));
    return Count() - 1;
}

void ImageStrip::RemoveAt(int i)
{
    if (i < 0 || i >= Count()) {
        return;
    }
    entries.erase(entries.begin() + i);
    if (selectedImage == i) {
        selectedImage = -1;
    } else if (selectedImage > i) {
        --selectedImage;   // the same entry stays selected
    }
}

bool ImageStrip::RemoveById(std::uint64_t id)
{
    const int i = IndexOfId(id);
    if (i < 0) {
        return false;
    }
    RemoveAt(i);
    return true;
}

void ImageStrip::Clear()
{
    while (!entries.empty()) {
        entries.pop_back();
    }
    selectedImage = -1;
}

} // namespace vistrel
