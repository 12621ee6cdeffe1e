// The choice of backend per device: the scanner goes to the usb backend when it may, everything else
// (and the scanner otherwise, named with what is lost) stays with the video driver.
#include <gtest/gtest.h>

#include <map>

#include "support/SysfsTree.h"
#include "capture/SelectPlatform.h"
#include "capture/usb/ScannerHandOver.h"
#include "capture/usb/UsbDeviceNames.h"
#include "capture/linux/VideoNodes.h"

namespace vistrel::usb {
namespace {

class PathBag final : public IPropertyBag
{
public:
    explicit PathBag(std::string path) : path(std::move(path)) {}
    HRESULT Read(const std::string& name, std::string* value) override
    {
        if (name != "DevicePath")
            return E_INVALIDARG;
        *value = path;
        return S_OK;
    }

private:
    std::string path;
};

class PathMoniker final : public IMoniker
{
public:
    explicit PathMoniker(std::string path) : path(std::move(path)) {}
    HRESULT BindToObject(std::shared_ptr<IBaseFilter>*) override { return E_NOTIMPL; }
    HRESULT BindToStorage(std::shared_ptr<IPropertyBag>* bag) override
    {
        *bag = std::make_shared<PathBag>(path);
        return S_OK;
    }

private:
    std::string path;
};

// The video driver's side as the hand-over sees it: devices by path, changes sent by the test.
class DriverSource final : public IDeviceSource
{
public:
    void AppendVideoInputDevices(std::vector<std::shared_ptr<IMoniker>>* devices) override
    {
        for (const auto& path : paths)
            devices->push_back(std::make_shared<PathMoniker>(path));
    }
    std::vector<UnusableDevice> UnusableDevices() override { return unusable; }
    void SetChangeSink(std::function<void(const DeviceChange&)> newSink) override { sink = std::move(newSink); }

    std::vector<std::string> paths;
    std::vector<UnusableDevice> unusable;
    std::function<void(const DeviceChange&)> sink;
};

std::string DriverPath(const std::string& busPath, std::uint16_t vendor, std::uint16_t product)
{
    lnx::UsbIdentity identity;
    identity.vendorId = vendor;
    identity.productId = product;
    identity.busPath = busPath;
    return lnx::UsbDevicePath(identity);
}

class HandOver : public ::testing::Test
{
protected:
    HandOver()
    {
        sysfs.AddDevice("1-2", "8888", "0001", 1, 5);
        sysfs.AddDevice("1-3", "046d", "0825", 1, 6);
        driver->paths = {camera, scanner, onBoard};
    }

    std::shared_ptr<IDeviceSource> Make(UsbClaim claim, bool writable, bool inUse = false)
    {
        HandOverLayout layout {sysfs.SysRoot().string(), "/dev",
                               [writable, this](const std::string& node) {
                                   asked.push_back(node);
                                   return writable;
                               },
                               [inUse](const std::string& busPath) { return inUse && busPath == "1-2"; }};
        return LeaveScannersToUsb(driver, claim, layout);
    }

    static std::vector<std::string> Paths(IDeviceSource& source)
    {
        std::vector<std::shared_ptr<IMoniker>> devices;
        source.AppendVideoInputDevices(&devices);
        std::vector<std::string> paths;
        for (const auto& moniker : devices) {
            std::shared_ptr<IPropertyBag> bag;
            std::string path;
            moniker->BindToStorage(&bag);
            bag->Read("DevicePath", &path);
            paths.push_back(path);
        }
        return paths;
    }

    test::SysfsTree sysfs;
    std::shared_ptr<DriverSource> driver = std::make_shared<DriverSource>();
    const std::string camera = DriverPath("1-3", 0x046d, 0x0825);
    const std::string scanner = DriverPath("1-2", 0x8888, 0x0001);
    const std::string onBoard = lnx::PlatformDevicePath("platform-vivid.0");
    std::vector<std::string> asked;
};

TEST_F(HandOver, TheScannerGoesWhereItMayAndOnlyThere)
{
    struct Case
    {
        UsbClaim claim;
        bool writable;
        bool inUse;           // another program has its video node open
        ReasonCode leftWhy;   // the scanner stays with the driver, named with this; None: it goes to usb
    };
    const Case cases[] = {
        {UsbClaim::WhenWritable, true, false, ReasonCode::None},
        {UsbClaim::WhenWritable, false, false, kScannerLeftToDriver},
        {UsbClaim::Always, false, false, ReasonCode::None},
        {UsbClaim::WhenWritable, true, true, kScannerInUseElsewhere},
        {UsbClaim::Always, true, true, kScannerInUseElsewhere},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "writable " << c.writable << ", in use " << c.inUse << ", always "
                                        << (c.claim == UsbClaim::Always));
        const Reason driversOwn = Reason(ReasonCode::NodeCannotOpen, "/dev/video4", 5);
        driver->unusable = {{"\\\\?\\usb#vid_0c45&pid_6366&mi_00#1-4#{x}\\global", driversOwn}};
        auto source = Make(c.claim, c.writable, c.inUse);
        std::vector<std::string> expected {camera, onBoard};
        if (c.leftWhy != ReasonCode::None)
            expected = {camera, scanner, onBoard};
        EXPECT_EQ(Paths(*source), expected);

        const auto unusable = source->UnusableDevices();
        ASSERT_EQ(unusable.size(), c.leftWhy != ReasonCode::None ? 2u : 1u);
        EXPECT_EQ(unusable.front().reason, driversOwn);
        if (c.leftWhy != ReasonCode::None) {
            EXPECT_EQ(unusable.back().name, scanner);
            EXPECT_EQ(unusable.back().reason.code, c.leftWhy);
        }
    }
    EXPECT_EQ(asked, (std::vector<std::string> {"/dev/bus/usb/001/005", "/dev/bus/usb/001/005"}))
        << "writability is asked of the scanner's node only, not when the usb backend is forced, and not "
           "when another program has the scanner";
}

TEST_F(HandOver, TheDriversNewsOfATakenScannerIsNotPassedOn)
{
    auto source = Make(UsbClaim::WhenWritable, true);
    std::vector<DeviceChange> heard;
    source->SetChangeSink([&](const DeviceChange& change) { heard.push_back(change); });
    // Claiming the scanner makes the driver let go of it, and giving it back brings the driver's node back:
    // neither is news for the window, which knows the scanner under the usb backend's name.
    driver->sink({DBT_DEVICEREMOVECOMPLETE, KSCATEGORY_CAPTURE, scanner});
    driver->sink({DBT_DEVICEARRIVAL, KSCATEGORY_CAPTURE, scanner});
    driver->sink({DBT_DEVICEARRIVAL, KSCATEGORY_CAPTURE, camera});
    // Unplugged: sysfs no longer knows it, so it is the driver's to report.
    sysfs.RemoveDevice("1-2");
    driver->sink({DBT_DEVICEREMOVECOMPLETE, KSCATEGORY_CAPTURE, scanner});
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].name, camera);
    EXPECT_EQ(heard[1].event, DBT_DEVICEREMOVECOMPLETE);
    EXPECT_EQ(heard[1].name, scanner);

    source->SetChangeSink({});
    EXPECT_FALSE(driver->sink) << "the driver's sink is taken back";
}

TEST_F(HandOver, TheDriversNewsOfAScannerAnotherProgramHasIsPassedOn)
{
    auto source = Make(UsbClaim::WhenWritable, true, true);
    std::vector<DeviceChange> heard;
    source->SetChangeSink([&](const DeviceChange& change) { heard.push_back(change); });
    driver->sink({DBT_DEVICEARRIVAL, KSCATEGORY_CAPTURE, scanner});
    driver->sink({DBT_DEVICEREMOVECOMPLETE, KSCATEGORY_CAPTURE, scanner});
    ASSERT_EQ(heard.size(), 2u) << "the window knows this scanner under the driver's name";
    EXPECT_EQ(heard[0].event, DBT_DEVICEARRIVAL);
    EXPECT_EQ(heard[1].event, DBT_DEVICEREMOVECOMPLETE);
    source->SetChangeSink({});
}

TEST(BackendChoice, TheVariableForcesOnlyTheNamesItKnows)
{
    const std::map<std::string, BackendChoice> cases {
        {"usb", BackendChoice::Usb},     {"v4l2", BackendChoice::V4l2},   {"", BackendChoice::Automatic},
        {"USB", BackendChoice::Automatic}, {"auto", BackendChoice::Automatic}, {"usb ", BackendChoice::Automatic},
    };
    for (const auto& [value, choice] : cases)
        EXPECT_EQ(BackendChoiceFrom(value), choice) << "'" << value << "'";
}

} // namespace
} // namespace vistrel::usb
