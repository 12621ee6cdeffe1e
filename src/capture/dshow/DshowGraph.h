#pragma once
// The platform's filter graph manager and capture graph builder, seen through the contract: the graph
// with its run control and video window, and the builder that finds pins and renders branches.
#include <windows.h>
#include <dshow.h>

#include <memory>

#include "capture/contract/Graph.h"

namespace vistrel::dshow {

// Over CLSID_FilterGraph and CLSID_CaptureGraphBuilder2; need COM started on the calling thread.
vistrel::HRESULT CreateFilterGraph(std::shared_ptr<vistrel::IGraphBuilder>* graph);
vistrel::HRESULT CreateCaptureGraphBuilder(std::shared_ptr<vistrel::ICaptureGraphBuilder2>* builder);

// The platform object behind a contract graph made here; null for any other.
::IGraphBuilder* NativeGraph(const vistrel::IGraphBuilder& graph);

} // namespace vistrel::dshow
