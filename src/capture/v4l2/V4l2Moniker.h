#pragma once
// A V4L2 capture node as an entry of the video input category.
#include <memory>

#include "capture/contract/Devices.h"
#include "capture/v4l2/V4l2SourceFilter.h"
#include "capture/linux/VideoNodes.h"

namespace vistrel::v4l2 {

// Opens the node and reads what the device declares; a node that cannot be opened still gives a filter,
// whose requests then fail, so that one unusable device does not hide the ones after it.
std::shared_ptr<V4l2SourceFilter> BindVideoNode(const lnx::VideoNode& node);

class V4l2Moniker final : public IMoniker
{
public:
    explicit V4l2Moniker(lnx::VideoNode node) : node(std::move(node)) {}
    HRESULT BindToObject(std::shared_ptr<IBaseFilter>* filter) override;
    HRESULT BindToStorage(std::shared_ptr<IPropertyBag>* bag) override;

private:
    const lnx::VideoNode node;
};

} // namespace vistrel::v4l2
