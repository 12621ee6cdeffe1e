// A scanner that runs, but through a backend that cannot do all it can (the video driver instead of the
// program's own USB access): the window names what is lost and how to get it back, once a run.
#include "WindowFixture.h"

#include <QTest>

#include "capture/runtime/CapturePlatform.h"
#include "window/NoticeLine.h"
#include "window/ReasonText.h"

namespace vistrel::test {
namespace {

const Reason kLimits = Reason(ReasonCode::ScannerLeftToDriver, "/dev/video0");

// The simulated devices, with the scanner named among the devices that cannot be used fully, as the
// choice of backend names a scanner it leaves to the video driver.
class LimitingSource final : public IDeviceSource
{
public:
    explicit LimitingSource(std::shared_ptr<IDeviceSource> inner) : inner(std::move(inner)) {}
    void AppendVideoInputDevices(std::vector<std::shared_ptr<IMoniker>>* devices) override
    {
        inner->AppendVideoInputDevices(devices);
    }
    std::vector<UnusableDevice> UnusableDevices() override { return {{limited, kLimits}}; }
    void SetChangeSink(std::function<void(const DeviceChange&)> sink) override { inner->SetChangeSink(std::move(sink)); }

    std::string limited;

private:
    std::shared_ptr<IDeviceSource> inner;
};

class LimitedScannerTest : public WindowTest
{
protected:
    void OpenLimited(const std::string& limited)
    {
        limiting = std::make_shared<LimitingSource>(source);
        limiting->limited = limited;
        WindowServices services {chooser, opener, prompts};
        window = std::make_unique<CVistrelDlg>(MakeCapturePlatform({limiting}), services);
        window->show();
    }
    void DismissNotice()
    {
        // A click dismisses it, as the user would.
        QTest::mouseClick(const_cast<NoticeLine*>(&window->Notice()), Qt::LeftButton);
    }
    std::shared_ptr<LimitingSource> limiting;
};

TEST_F(LimitedScannerTest, TheLimitsAreNamedOnceARun)
{
    const std::string scanner = AddScanner();
    AddCamera();
    OpenLimited(scanner);
    ASSERT_TRUE(window->IsScannerAttached());
    EXPECT_TRUE(window->Notice().isVisible());
    EXPECT_EQ(window->Notice().text(), ReasonText(kLimits));

    DismissNotice();
    ASSERT_FALSE(window->Notice().isVisible());
    Unplug(scanner);
    Plug(scanner);
    ASSERT_TRUE(WaitFor([&] { return window->IsScannerAttached(); }));
    EXPECT_FALSE(window->Notice().isVisible()) << "once a run is enough";
}

TEST_F(LimitedScannerTest, AnotherDevicesLimitsAreNotTheAttachedScanners)
{
    AddScanner();
    OpenLimited("\\\\?\\usb#vid_8888&pid_0001&mi_00#9-9#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global");
    ASSERT_TRUE(window->IsScannerAttached());
    EXPECT_FALSE(window->Notice().isVisible());
}

} // namespace
} // namespace vistrel::test
