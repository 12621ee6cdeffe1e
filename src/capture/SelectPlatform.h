#pragma once
// Chooses the capture backend at start: the simulated devices named by VISTREL_SIMULATOR, or the
// real devices when it is not set. On Windows every device goes through DirectShow (`dshow`); elsewhere
// the scanner goes through libusb (`usb`) when this process may write to its USB device node, every
// other device (and the scanner otherwise) through the video driver (`v4l2`).
#include <memory>
#include <string>

#include "capture/contract/Platform.h"

namespace vistrel {

// VISTREL_SIMULATOR: device list ("scanner", "camera,scanner", ...); VISTREL_SIMULATOR_IMAGE: the
// picture the simulated devices show; VISTREL_SIMULATOR_CONTROL: a FIFO (on Windows a pipe name)
// accepting simulator commands.
// Null when no backend is available in this build.
std::shared_ptr<ICapturePlatform> MakePlatformFromEnvironment();

// VISTREL_CAPTURE_BACKEND forces the scanner's backend for diagnosis: "usb" takes every scanner through
// libusb (one it may not open is named with the reason), "v4l2" leaves it to the driver; anything
// else, or nothing, chooses per device.
constexpr const char* kBackendVariable = "VISTREL_CAPTURE_BACKEND";
enum class BackendChoice { Automatic, Usb, V4l2 };
BackendChoice BackendChoiceFrom(const std::string& value);

} // namespace vistrel
