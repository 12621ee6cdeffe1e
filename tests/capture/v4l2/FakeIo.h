#pragma once
// A device behind the ioctl layer, for the tests: V4L2 controls and UVC unit controls held in memory,
// every request logged, errors injectable. Unit queries follow uvcvideo's rules (uvc_xu_ctrl_query):
// extension units only, a control learned from the device (GET_LEN, GET_INFO) at its first use and
// ENOENT while that fails, each request of the control's own fixed size.
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <linux/usb/video.h>

#include "capture/v4l2/V4l2Io.h"

namespace vistrel::v4l2::test {

struct UnitControl
{
    static UnitControl With(std::uint8_t info, std::vector<std::uint8_t> value,
                            std::map<std::uint8_t, std::vector<std::uint8_t>> limits = {})
    {
        UnitControl c;
        c.info = info;
        c.value = std::move(value);
        c.limits = std::move(limits);
        return c;
    }

    std::uint8_t info = 0x03;
    std::vector<std::uint8_t> value;              // uvc::GET_CUR / uvc::SET_CUR; its size is uvc::GET_LEN
    std::map<std::uint8_t, std::vector<std::uint8_t>> limits; // uvc::GET_MIN, uvc::GET_MAX, uvc::GET_RES, uvc::GET_DEF
    int error = 0;                                 // the device's answer to every request it gets
    int notReadyTimes = 0;                         // the device answers "not ready" (EBUSY) this often first
    bool learned = false;                          // the driver has its length and access bits
};

struct V4l2Control
{
    uvc::ControlRange range;
    std::int32_t value = 0;
};

class FakeIo : public IV4l2Io
{
public:
    std::map<std::uint32_t, V4l2Control> controls;
    std::set<std::uint8_t> extensionUnits; // the units the driver takes unit queries for
    std::map<std::pair<std::uint8_t, std::uint8_t>, UnitControl> unitControls; // (unit, selector)
    int controlError = 0;  // answered to every V4L2 control request when set
    int openError = ENOENT;
    std::vector<std::string> log; // "set <id> <value>", "uvc <unit> <selector> <query>"

    int QueryControl(std::uint32_t id, uvc::ControlRange* range) override
    {
        if (controlError)
            return controlError;
        const auto it = controls.find(id);
        if (it == controls.end())
            return EINVAL;
        *range = it->second.range;
        return 0;
    }
    int GetControl(std::uint32_t id, std::int32_t* value) override
    {
        if (controlError)
            return controlError;
        const auto it = controls.find(id);
        if (it == controls.end())
            return EINVAL;
        *value = it->second.value;
        return 0;
    }
    int SetControl(std::uint32_t id, std::int32_t value) override
    {
        log.push_back("set " + std::to_string(id) + " " + std::to_string(value));
        if (controlError)
            return controlError;
        const auto it = controls.find(id);
        if (it == controls.end())
            return EINVAL;
        it->second.value = value;
        return 0;
    }
    int UvcQuery(std::uint8_t unit, std::uint8_t selector, std::uint8_t query, std::uint8_t* data,
                 std::uint16_t size) override
    {
        log.push_back("uvc " + std::to_string(unit) + " " + std::to_string(selector) + " " + std::to_string(query));
        const auto it = unitControls.find({unit, selector});
        if (!extensionUnits.contains(unit) || it == unitControls.end())
            return ENOENT;
        UnitControl& c = it->second;
        if (!c.learned) {
            // GET_LEN, then GET_INFO; a failure of either is ENOENT, and the next query tries again.
            if (DeviceAnswer(c) || DeviceAnswer(c))
                return ENOENT;
            c.learned = true;
        }
        std::size_t expected = c.value.size();
        bool allowed = true;
        switch (query) {
        case UVC_GET_CUR: allowed = (c.info & UVC_CONTROL_CAP_GET) != 0; break;
        case UVC_SET_CUR: allowed = (c.info & UVC_CONTROL_CAP_SET) != 0; break;
        case UVC_GET_MIN:
        case UVC_GET_MAX:
        case UVC_GET_RES:
        case UVC_GET_DEF: break;
        case UVC_GET_LEN: expected = 2; break;
        case UVC_GET_INFO: expected = 1; break;
        default: return EINVAL;
        }
        if (size != expected)
            return ENOBUFS;
        if (!allowed)
            return EBADRQC;
        if (const int error = DeviceAnswer(c))
            return error;
        switch (query) {
        case UVC_GET_INFO:
            data[0] = c.info;
            return 0;
        case UVC_GET_LEN:
            data[0] = static_cast<std::uint8_t>(c.value.size());
            data[1] = static_cast<std::uint8_t>(c.value.size() >> 8);
            return 0;
        case UVC_GET_CUR:
            std::memcpy(data, c.value.data(), size);
            return 0;
        case UVC_SET_CUR:
            std::memcpy(c.value.data(), data, size);
            return 0;
        default: {
            const auto limit = c.limits.find(query);
            if (limit == c.limits.end() || limit->second.size() != size)
                return EINVAL; // the device stalls: "invalid request"
            std::memcpy(data, limit->second.data(), size);
            return 0;
        }
        }
    }
    int Descriptor() const override { return -1; }
    int OpenError() const override { return openError; }

private:
    static int DeviceAnswer(UnitControl& c)
    {
        if (c.notReadyTimes > 0) {
            --c.notReadyTimes;
            return EBUSY;
        }
        return c.error;
    }
};

} // namespace vistrel::v4l2::test
