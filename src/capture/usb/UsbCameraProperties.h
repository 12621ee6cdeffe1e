#pragma once
// The two camera-property families of a scanner driven through libusb: class requests to its camera
// terminal and processing unit (roll included, which the video driver cannot reach), in the contract's
// units.
#include <memory>

#include "capture/contract/CameraControls.h"
#include "capture/uvc/UvcDescriptors.h"

namespace vistrel::usb {

class UsbDevice;

std::shared_ptr<IAMVideoProcAmp> MakeUsbVideoProcAmp(std::shared_ptr<UsbDevice> device,
                                                     const uvc::UvcFunction& function);
std::shared_ptr<IAMCameraControl> MakeUsbCameraControl(std::shared_ptr<UsbDevice> device,
                                                       const uvc::UvcFunction& function);

} // namespace vistrel::usb
