#include "capture/engine/FormatSelection.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "capture/engine/PinLookup.h"

namespace vistrel {

bool FormatPasses(std::int32_t filmSize, PinRole role, std::int32_t width, std::int32_t height)
{
    switch (filmSize) {
    case kFilm126:
        return width == height;
    case kFilm135:
        if (width == height)
            return false;
        return role == PinRole::Capture ? width < kNarrowWideLimit : width > kNarrowWideLimit;
    default:
        return false;
    }
}

void SelectPinFormat(IAMStreamConfig* config, std::int32_t filmSize, PinRole role)
{
    if (!config)
        return;
    std::int32_t count = 0, capsSize = 0;
    if (Failed(config->GetNumberOfCapabilities(&count, &capsSize)) || count <= 0)
        return;

    std::vector<std::optional<MediaType>> formats(static_cast<std::size_t>(count));
    {
        // The capability structures are not looked at; they only need somewhere to land.
        std::vector<std::uint8_t> scratch(static_cast<std::size_t>(std::max(capsSize, 0)));
        for (std::int32_t i = 0; i < count; ++i) {
            MediaType type;
            if (Succeeded(config->GetStreamCaps(i, &type, scratch.empty() ? nullptr : scratch.data())))
                formats[static_cast<std::size_t>(i)] = std::move(type);
        }
    }

    for (std::int32_t i = 0; i < count; ++i) {
        const auto& type = formats[static_cast<std::size_t>(i)];
        if (!type || type->formatType != FORMAT_VideoInfo)
            continue;
        std::int32_t width = 0, height = 0;
        if (!ReadVideoInfoSize(*type, width, height)) {
            std::printf("[%d] not FORMAT_VideoInfo\n", i);
            std::fflush(stdout);
            continue;
        }
        if (FormatPasses(filmSize, role, width, height)) {
            config->SetFormat(*type);
            return;
        }
    }
}

void SelectFormats(const std::shared_ptr<IBaseFilter>& sourceFilter, const std::shared_ptr<IBaseFilter>& deviceFilter,
                   std::int32_t filmSize)
{
    if (const auto capturePin = FirstOutputPin(sourceFilter))
        SelectPinFormat(capturePin->QueryStreamConfig().get(), filmSize, PinRole::Capture);
    if (const auto stillPin = FindStillPin(deviceFilter))
        SelectPinFormat(stillPin->QueryStreamConfig().get(), filmSize, PinRole::Still);
}

HRESULT ReadStillFormat(const std::shared_ptr<IBaseFilter>& deviceFilter, StillFormat* format)
{
    if (!format)
        return E_POINTER;
    const auto stillPin = FindStillPin(deviceFilter);
    if (!stillPin)
        return E_FAIL;
    const auto config = stillPin->QueryStreamConfig();
    if (!config)
        return E_NOINTERFACE;
    MediaType type;
    if (const HRESULT hr = config->GetFormat(&type); Failed(hr))
        return hr;
    std::int32_t width = 0, height = 0;
    if (ReadVideoInfoSize(type, width, height)) {
        format->width = width;
        format->height = height;
    }
    return S_OK;
}

} // namespace vistrel
