// The strip model: the 12-entry limit, identities, removal and the selection invariant.
#include "images/ImageStrip.h"

#include <gtest/gtest.h>

#include <set>

namespace vistrel {
namespace {

CapturedImage Entry(std::int32_t frameWidth)
{
    CapturedImage entry;
    entry.frameData = std::make_shared<const std::vector<std::uint8_t>>(std::vector<std::uint8_t>{1, 2, 3});
    entry.frameWidth = frameWidth;
    return entry;
}

TEST(ImageStrip, HoldsTwelveAndDropsTheThirteenth)
{
    ImageStrip strip;
    std::set<std::uint64_t> ids;
    for (int i = 0; i < ImageStrip::kMaxEntries; ++i) {
        EXPECT_EQ(strip.Append(Entry(i)), i);
        ids.insert(strip.At(i).id);
        EXPECT_NE(strip.At(i).id, 0u);
        EXPECT_EQ(strip.At(i).frameSize, 3);
    }
    EXPECT_EQ(ids.size(), 12u) << "identities are distinct";
    EXPECT_TRUE(strip.IsFull());
    EXPECT_EQ(strip.Append(Entry(99)), -1);
    EXPECT_EQ(strip.Count(), 12);
    EXPECT_EQ(strip.At(11).frameWidth, 11) << "the dropped entry left no trace";

    strip.RemoveAt(0);
    EXPECT_EQ(strip.Append(Entry(12)), 11) << "room again after a removal";
}

TEST(ImageStrip, RemoveByIdKeepsTheSelectionOnItsEntry)
{
    ImageStrip strip;
    for (int i = 0; i < 5; ++i) {
        strip.Append(Entry(i));
    }
    const std::uint64_t second = strip.At(1).id, fourth = strip.At(3).id;
    strip.SetSelection(3);

    EXPECT_TRUE(strip.RemoveById(second));
    EXPECT_EQ(strip.Count(), 4);
    EXPECT_EQ(strip.Selection(), 2);
    EXPECT_EQ(strip.At(strip.Selection()).id, fourth);
    EXPECT_FALSE(strip.RemoveById(second)) << "already gone";
    EXPECT_EQ(strip.IndexOfId(second), -1);

    EXPECT_TRUE(strip.RemoveById(fourth));
    EXPECT_EQ(strip.Selection(), -1) << "the selected entry itself was removed";
    EXPECT_EQ(strip.At(0).frameWidth, 0);
    EXPECT_EQ(strip.At(1).frameWidth, 2);
    EXPECT_EQ(strip.At(2).frameWidth, 4);
}

TEST(ImageStrip, SelectionIsNoneOrAValidIndex)
{
    ImageStrip strip;
    strip.SetSelection(0);
    EXPECT_EQ(strip.Selection(), -1);
    strip.Append(Entry(1));
    strip.Append(Entry(2));
    for (const int bad : {2, 12, -5}) {
        strip.SetSelection(1);
        strip.SetSelection(bad);
        EXPECT_EQ(strip.Selection(), -1) << bad;
    }
    strip.SetSelection(1);
    strip.RemoveAt(7);   // out of range: nothing happens
    EXPECT_EQ(strip.Count(), 2);
    strip.RemoveAt(0);
    EXPECT_EQ(strip.Selection(), 0);
    strip.Clear();
    EXPECT_EQ(strip.Count(), 0);
    EXPECT_EQ(strip.Selection(), -1);
}

TEST(ImageStrip, KeepsAGivenIdentity)
{
    ImageStrip strip;
    CapturedImage entry = Entry(1);
    entry.id = 4242;
    strip.Append(entry);
    EXPECT_EQ(strip.IndexOfId(4242), 0);
}

} // namespace
} // namespace vistrel
