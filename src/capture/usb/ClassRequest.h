#pragma once
// The video class's control requests as setup packets: request codes, the selectors of the streaming
// interface and of the control interface itself, and the packet that carries one request.
#include <cstdint>

namespace vistrel::usb {

enum UvcRequestCode : std::uint8_t {
    SET_CUR = 0x01,
    GET_CUR = 0x81,
    GET_MIN = 0x82,
    GET_MAX = 0x83,
    GET_RES = 0x84,
    GET_LEN = 0x85,
    GET_INFO = 0x86,
    GET_DEF = 0x87,
};

// Selectors of the video streaming interface.
enum StreamingSelector : std::uint8_t {
    VS_PROBE_CONTROL = 0x01,
    VS_COMMIT_CONTROL = 0x02,
    VS_STILL_PROBE_CONTROL = 0x03,
    VS_STILL_COMMIT_CONTROL = 0x04,
    VS_STILL_IMAGE_TRIGGER_CONTROL = 0x05,
};

// Selector of the video control interface (entity 0) that tells why the last request stalled.
constexpr std::uint8_t VC_REQUEST_ERROR_CODE_CONTROL = 0x02;

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

} // namespace vistrel::usb
