#pragma once
// qedit's sample grabber and null renderer through the contract.
#include <memory>

#include "capture/contract/Graph.h"

namespace vistrel::dshow {

// Need COM started on the calling thread.
vistrel::HRESULT CreateSampleGrabber(std::shared_ptr<vistrel::ISampleGrabber>* grabber);
vistrel::HRESULT CreateNullRenderer(std::shared_ptr<vistrel::IBaseFilter>* renderer);

} // namespace vistrel::dshow
