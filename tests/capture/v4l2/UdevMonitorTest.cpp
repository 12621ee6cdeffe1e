#include <gtest/gtest.h>

#include <future>

#include "capture/v4l2/UdevMonitor.h"
#include "capture/v4l2/V4l2DeviceSource.h"

namespace vistrel::v4l2 {
namespace {

// The monitor sleeps in poll() without a time-out; only its wake-up pipe can end it. A destructor that
// fails to wake it hangs, which the future's time-out turns into a failure instead of a stuck run.
TEST(UdevMonitor, EndsItsThreadWhenDestroyed)
{
    auto done = std::async(std::launch::async, [] {
        for (int i = 0; i < 3; ++i) {
            UdevMonitor monitor([](const UdevEvent&) {});
        }
    });
    EXPECT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready);
}

TEST(V4l2DeviceSource, ListsWhatTheMachineHasAndStopsWatchingWhenReleased)
{
    auto done = std::async(std::launch::async, [] {
        auto source = MakeV4l2DeviceSource();
        std::vector<std::shared_ptr<IMoniker>> devices;
        source->AppendVideoInputDevices(&devices);
        source->SetChangeSink([](const DeviceChange&) {});
        source->SetChangeSink([](const DeviceChange&) {}); // a second sink replaces the first
        for (const auto& device : devices) {
            std::shared_ptr<IPropertyBag> bag;
            std::string path;
            ASSERT_EQ(device->BindToStorage(&bag), S_OK);
            EXPECT_EQ(bag->Read("DevicePath", &path), S_OK);
            EXPECT_EQ(path.find(R"(\\?\)"), 0u);
        }
    });
    EXPECT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready);
}

} // namespace
} // namespace vistrel::v4l2
