#pragma once
// A device behind the ioctl layer, for the tests: V4L2 controls and UVC unit controls held in memory,
// every request logged, errors injectable.
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
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
    std::vector<std::uint8_t> value;              // GET_CUR / SET_CUR; its size is GET_LEN
    std::map<std::uint8_t, std::vector<std::uint8_t>> limits; // GET_MIN, GET_MAX, GET_RES, GET_DEF
    int error = 0;                                 // answered to every request
    int notReadyTimes = 0;                         // GET_LEN answers EBUSY this many times first
};

struct V4l2Control
{
    ControlRange range;
    std::int32_t value = 0;
};

class FakeIo : public IV4l2Io
{
public:
    std::map<std::uint32_t, V4l2Control> controls;
    std::map<std::pair<std::uint8_t, std::uint8_t>, UnitControl> unitControls; // (unit, selector)
    int controlError = 0;  // answered to every V4L2 control request when set
    int openError = ENOENT;
    std::vector<std::string> log; // "set <id> <value>", "uvc <unit> <selector> <query>"

    int QueryControl(std::uint32_t id, ControlRange* range) override
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
        if (it == unitControls.end())
            return ENOENT;
        UnitControl& c = it->second;
        if (c.error)
            return c.error;
        switch (query) {
        case UVC_GET_INFO:
            if (size != 1)
                return EINVAL;
            data[0] = c.info;
            return 0;
        case UVC_GET_LEN:
            if (size != 2)
                return EINVAL;
            if (c.notReadyTimes > 0) {
                --c.notReadyTimes;
                return EBUSY;
            }
            data[0] = static_cast<std::uint8_t>(c.value.size());
            data[1] = static_cast<std::uint8_t>(c.value.size() >> 8);
            return 0;
        case UVC_GET_CUR:
        case UVC_SET_CUR:
            if (size != c.value.size())
                return ENOBUFS; // uvcvideo insists on the control's own length
            if (query == UVC_GET_CUR)
                std::memcpy(data, c.value.data(), size);
            else
                std::memcpy(c.value.data(), data, size);
            return 0;
        default: {
            const auto limit = c.limits.find(query);
            if (limit == c.limits.end() || limit->second.size() != size)
                return EINVAL;
            std::memcpy(data, limit->second.data(), size);
            return 0;
        }
        }
    }
    int Descriptor() const override { return -1; }
    int OpenError() const override { return openError; }
};

} // namespace vistrel::v4l2::test
