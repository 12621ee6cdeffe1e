#include "capture/SelectPlatform.h"

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "capture/sim/SimControlChannel.h"
#include "capture/sim/SimulatedDeviceSource.h"

#if VISTREL_HAVE_CAPTURE_RUNTIME
#include "capture/runtime/CapturePlatform.h"
#endif
#if VISTREL_HAVE_V4L2
#include "capture/v4l2/V4l2DeviceSource.h"
#endif
#if VISTREL_HAVE_DSHOW
#include "capture/dshow/DshowPlatform.h"
#endif
#if VISTREL_HAVE_USB
#include "capture/usb/ScannerHandOver.h"
#include "capture/usb/UsbDeviceSource.h"
#endif

namespace vistrel {
namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The platform together with the simulator's control channel, which must stop before the devices go.
class SimulatedPlatform final : public ICapturePlatform {
public:
    SimulatedPlatform(std::shared_ptr<ICapturePlatform> platform, std::unique_ptr<sim::SimControlChannel> channel)
        : platform(std::move(platform)), channel(std::move(channel)) {}
    ~SimulatedPlatform() override { channel.reset(); }

    HRESULT CreateDeviceEnumerator(std::shared_ptr<ICreateDevEnum>* e) override { return platform->CreateDeviceEnumerator(e); }
    HRESULT CreateCaptureGraphBuilder(std::shared_ptr<ICaptureGraphBuilder2>* b) override
    {
        return platform->CreateCaptureGraphBuilder(b);
    }
    HRESULT CreateFilterGraph(std::shared_ptr<IGraphBuilder>* g) override { return platform->CreateFilterGraph(g); }
    HRESULT CreateSampleGrabber(std::shared_ptr<ISampleGrabber>* g) override { return platform->CreateSampleGrabber(g); }
    HRESULT CreateNullRenderer(std::shared_ptr<IBaseFilter>* r) override { return platform->CreateNullRenderer(r); }
    IDeviceNotifications& DeviceNotifications() override { return platform->DeviceNotifications(); }
    std::vector<UnusableDevice> UnusableDevices() override { return platform->UnusableDevices(); }

private:
    std::shared_ptr<ICapturePlatform> platform;
    std::unique_ptr<sim::SimControlChannel> channel;
};

#if VISTREL_HAVE_V4L2
// The real devices: the scanner through libusb when it may be, everything else through the driver.
void AppendRealSources(std::vector<std::shared_ptr<IDeviceSource>>& sources)
{
#if VISTREL_HAVE_USB
    const BackendChoice choice = BackendChoiceFrom(Environment(kBackendVariable));
    const UsbClaim claim = choice == BackendChoice::Usb ? UsbClaim::Always : UsbClaim::WhenWritable;
    if (choice != BackendChoice::V4l2) {
        if (auto usbSource = MakeUsbDeviceSource(claim)) {
            sources.push_back(std::move(usbSource));
            sources.push_back(usb::LeaveScannersToUsb(MakeV4l2DeviceSource(), claim));
            return;
        }
    }
#endif
    sources.push_back(MakeV4l2DeviceSource());
}
#endif

} // namespace

BackendChoice BackendChoiceFrom(const std::string& value)
{
    if (value == "usb")
        return BackendChoice::Usb;
    if (value == "v4l2")
        return BackendChoice::V4l2;
    return BackendChoice::Automatic;
}

std::shared_ptr<ICapturePlatform> MakePlatformFromEnvironment()
{
    std::vector<std::shared_ptr<IDeviceSource>> sources;
    std::shared_ptr<sim::SimulatedDeviceSource> simulated;
    if (const char* list = std::getenv("VISTREL_SIMULATOR")) {
        simulated = sim::SimulatedDeviceSource::FromList(list, Environment("VISTREL_SIMULATOR_IMAGE"));
        sources.push_back(simulated);
    } else {
#if VISTREL_HAVE_DSHOW
        // Windows: the real devices through the system's own capture stack.
        return dshow::MakeDshowPlatform();
#elif VISTREL_HAVE_V4L2
        AppendRealSources(sources);
#endif
    }
#if VISTREL_HAVE_CAPTURE_RUNTIME
    auto platform = MakeCapturePlatform(std::move(sources));
    const std::string control = Environment("VISTREL_SIMULATOR_CONTROL");
    if (!simulated || control.empty() || !platform)
        return platform;
    return std::make_shared<SimulatedPlatform>(std::move(platform),
                                               std::make_unique<sim::SimControlChannel>(simulated, control));
#else
    return nullptr;
#endif
}

} // namespace vistrel
