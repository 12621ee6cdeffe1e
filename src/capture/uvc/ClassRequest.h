#pragma once
// The video class's control requests as setup packets: request codes, the selectors of the streaming
// interface and of the control interface itself (the kernel's UVC header's values), and the packet that
// carries one request.
#include <linux/usb/video.h>

#include <cstdint>

namespace vistrel::uvc {

enum UvcRequestCode : std::uint8_t {
    SET_CUR = UVC_SET_CUR,
    GET_CUR = UVC_GET_CUR,
    GET_MIN = UVC_GET_MIN,
    GET_MAX = UVC_GET_MAX,
    GET_RES = UVC_GET_RES,
    GET_LEN = UVC_GET_LEN,
    GET_INFO = UVC_GET_INFO,
    GET_DEF = UVC_GET_DEF,
};

// Selectors of the video streaming interface.
enum StreamingSelector : std::uint8_t {
    VS_PROBE_CONTROL = UVC_VS_PROBE_CONTROL,
    VS_COMMIT_CONTROL = UVC_VS_COMMIT_CONTROL,
    VS_STILL_PROBE_CONTROL = UVC_VS_STILL_PROBE_CONTROL,
    VS_STILL_COMMIT_CONTROL = UVC_VS_STILL_COMMIT_CONTROL,
    VS_STILL_IMAGE_TRIGGER_CONTROL = UVC_VS_STILL_IMAGE_TRIGGER_CONTROL,
};

// Selector of the video control interface (entity 0) that tells why the last request stalled.
constexpr std::uint8_t VC_REQUEST_ERROR_CODE_CONTROL = UVC_VC_REQUEST_ERROR_CODE_CONTROL;

// bmRequestType of class requests to an interface or an entity on it.
constexpr std::uint8_t kClassSetRequestType = 0x21; // host to device
constexpr std::uint8_t kClassGetRequestType = 0xA1; // device to host

// One control transfer's setup fields, as libusb_control_transfer takes them.
struct ClassRequest
{
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;  // selector in the high byte
    std::uint16_t index = 0;  // entity (unit or terminal; 0 for the interface) high, interface low
    std::uint16_t length = 0;

    friend bool operator==(const ClassRequest&, const ClassRequest&) = default;
};

constexpr ClassRequest MakeClassRequest(std::uint8_t request, std::uint8_t selector, std::uint8_t entity,
                                        std::uint8_t interface, std::uint16_t length)
{
    return {request == SET_CUR ? kClassSetRequestType : kClassGetRequestType, request,
            static_cast<std::uint16_t>(selector << 8), static_cast<std::uint16_t>(entity << 8 | interface), length};
}

} // namespace vistrel::uvc
