#include "capture/runtime/UsbLocationOrder.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace vistrel {

namespace {

constexpr std::string_view kUsbPathStart = R"(\\?\usb#)";
constexpr std::size_t kLocationField = 2;   // after "\\?\usb" and the ids

bool StartsWithIgnoringCase(const std::string& text, std::string_view start)
{
    return text.size() >= start.size()
        && std::equal(start.begin(), start.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

std::string DevicePathOf(const std::shared_ptr<IMoniker>& moniker)
{
    std::shared_ptr<IPropertyBag> bag;
    std::string path;
    if (!moniker || Failed(moniker->BindToStorage(&bag)) || !bag || Failed(bag->Read("DevicePath", &path)))
        return {};
    return path;
}

} // namespace

std::optional<std::vector<int>> UsbLocationOf(const std::string& devicePath)
{
    if (!StartsWithIgnoringCase(devicePath, kUsbPathStart))
        return std::nullopt;
    std::size_t start = 0;
    for (std::size_t field = 0; field < kLocationField; ++field) {
        start = devicePath.find('#', start);
        if (start == std::string::npos)
            return std::nullopt;
        ++start;
    }
    const std::size_t end = devicePath.find('#', start);
    if (end == std::string::npos)
        return std::nullopt;
    // "bus-port.port...": numbers, one '-' after the bus, '.' between ports.
    std::vector<int> location;
    int number = -1;
    bool sawBus = false;
    for (std::size_t i = start; i <= end; ++i) {
        const char c = devicePath[i];
        if (std::isdigit(static_cast<unsigned char>(c))) {
            number = (number < 0 ? 0 : number) * 10 + (c - '0');
            if (number > 0xFFFF)
                return std::nullopt;
            continue;
        }
        const bool separatorAllowed = c == (sawBus ? '.' : '-') || c == '#';
        if (number < 0 || !separatorAllowed || (c == '#' && !sawBus))
            return std::nullopt;
        location.push_back(number);
        number = -1;
        sawBus = true;
    }
    return location;
}

void SortByUsbLocation(std::vector<std::shared_ptr<IMoniker>>& devices)
{
    std::vector<std::pair<std::optional<std::vector<int>>, std::shared_ptr<IMoniker>>> keyed;
    keyed.reserve(devices.size());
    for (auto& device : devices)
        keyed.emplace_back(UsbLocationOf(DevicePathOf(device)), std::move(device));
    std::ranges::stable_sort(keyed, [](const auto& a, const auto& b) {
        if (a.first && b.first)
            return *a.first < *b.first;
        return a.first.has_value() && !b.first.has_value();
    });
    for (std::size_t i = 0; i < devices.size(); ++i)
        devices[i] = std::move(keyed[i].second);
}

} // namespace vistrel
