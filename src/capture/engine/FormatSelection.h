#pragma once
#include <cstdint>
#include <memory>

#include "capture/contract/Filter.h"
#include "capture/engine/StillFormat.h"

namespace vistrel {

enum class PinRole { Capture, Still };

constexpr std::int32_t kFilm135 = 0;
constexpr std::int32_t kFilm126 = 1;
constexpr std::int32_t kNarrowWideLimit = 1500;

// The selection rule for one format of the given pin under the given film size.
bool FormatPasses(std::int32_t filmSize, PinRole role, std::int32_t width, std::int32_t height);

// Enumerates config's formats and sets the first one that passes; a pin without formats keeps its own.
// Writes "[%d] not FORMAT_VideoInfo\n" to stdout for VideoInfo blocks shorter than a VIDEOINFOHEADER.
void SelectPinFormat(IAMStreamConfig* config, std::int32_t filmSize, PinRole role);

// Capture pin = first output pin of sourceFilter; still pin = FindStillPin(deviceFilter).
void SelectFormats(const std::shared_ptr<IBaseFilter>& sourceFilter, const std::shared_ptr<IBaseFilter>& deviceFilter,
                   std::int32_t filmSize);

// Reads the still pin's current format into format; leaves it unchanged for other format types.
HRESULT ReadStillFormat(const std::shared_ptr<IBaseFilter>& deviceFilter, StillFormat* format);

} // namespace vistrel
