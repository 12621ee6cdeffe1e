#include "capture/v4l2/V4l2Moniker.h"

#include <fstream>
#include <iterator>

#include "capture/runtime/DevicePropertyBag.h"
#include "capture/v4l2/V4l2Node.h"

namespace vistrel::v4l2 {

namespace {

// USB descriptors of a whole device stay well below this.
constexpr std::streamsize kLargestDescriptorFile = 64 * 1024;

std::vector<std::uint8_t> ReadDescriptors(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(kLargestDescriptorFile));
    in.read(reinterpret_cast<char*>(bytes.data()), kLargestDescriptorFile);
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

} // namespace

std::shared_ptr<V4l2SourceFilter> BindVideoNode(const lnx::VideoNode& node)
{
    auto io = V4l2Node::Open(node.devNode);
    DeviceDescription description {node.friendlyName, std::nullopt, EnumerateFrameFormats(io->Descriptor())};
    if (node.usb)
        description.function = uvc::ParseUvcFunction(ReadDescriptors(node.usb->deviceDir / "descriptors"),
                                                node.usb->interfaceNumber);
    return V4l2SourceFilter::Create(std::move(description), std::move(io));
}

HRESULT V4l2Moniker::BindToObject(std::shared_ptr<IBaseFilter>* filter)
{
    if (!filter)
        return E_POINTER;
    *filter = BindVideoNode(node);
    return S_OK;
}

HRESULT V4l2Moniker::BindToStorage(std::shared_ptr<IPropertyBag>* bag)
{
    if (!bag)
        return E_POINTER;
    *bag = std::make_shared<DevicePropertyBag>(node.devicePath, node.friendlyName);
    return S_OK;
}

} // namespace vistrel::v4l2
