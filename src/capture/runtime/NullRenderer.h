#pragma once
#include <memory>

#include "capture/runtime/RuntimeFilter.h"

namespace vistrel {

class InputPin;

// Accepts any type and discards every sample.
class NullRenderer : public RuntimeFilter, public std::enable_shared_from_this<NullRenderer> {
public:
    static std::shared_ptr<NullRenderer> Create();
    HRESULT EnumPins(std::vector<std::shared_ptr<IPin>>* pins) override;

private:

    std::shared_ptr<InputPin> input;
};

} // namespace vistrel
