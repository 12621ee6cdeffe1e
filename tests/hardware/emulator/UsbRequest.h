#pragma once
// A control transfer's setup packet and what the device answers to it.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vistrel::uvcemu {

struct SetupPacket {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;

    static SetupPacket FromBytes(std::span<const std::uint8_t, 8> b)
    {
        return {b[0], b[1], std::uint16_t(b[2] | b[3] << 8), std::uint16_t(b[4] | b[5] << 8),
                std::uint16_t(b[6] | b[7] << 8)};
    }
    std::array<std::uint8_t, 8> Bytes() const
    {
        return {requestType, request, std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(index),
                std::uint8_t(index >> 8), std::uint8_t(length), std::uint8_t(length >> 8)};
    }
    bool DeviceToHost() const { return requestType & 0x80; }
    std::uint8_t Type() const { return (requestType >> 5) & 0x03; }    // 0 standard, 1 class
    std::uint8_t Recipient() const { return requestType & 0x1F; }      // 0 device, 1 interface, 2 endpoint
};

constexpr std::uint8_t kTypeStandard = 0, kTypeClass = 1;
constexpr std::uint8_t kRecipientDevice = 0, kRecipientInterface = 1, kRecipientEndpoint = 2;

// The video class's requests.
enum UvcRequest : std::uint8_t {
    SET_CUR = 0x01,
    GET_CUR = 0x81,
    GET_MIN = 0x82,
    GET_MAX = 0x83,
    GET_RES = 0x84,
    GET_LEN = 0x85,
    GET_INFO = 0x86,
    GET_DEF = 0x87,
};

// The request error codes the control interface reports after a stall.
enum class RequestError : std::uint8_t {
    None = 0,
    NotReady = 1,
    WrongState = 2,
    OutOfRange = 4,
    InvalidUnit = 5,
    InvalidControl = 6,
    InvalidRequest = 7,
    InvalidValueWithinRange = 8,
};

struct ControlAnswer {
    bool stalled = false;
    RequestError error = RequestError::None;
    std::vector<std::uint8_t> data;   // IN data (already no longer than wLength)
    std::string decoded;              // the value in the device's units, for the log; empty when none

    static ControlAnswer Stall(RequestError e) { return {true, e, {}, {}}; }
    static ControlAnswer Data(std::vector<std::uint8_t> d, std::string text = {})
    {
        return {false, RequestError::None, std::move(d), std::move(text)};
    }
};

const char* UvcRequestName(std::uint8_t request);

} // namespace vistrel::uvcemu
