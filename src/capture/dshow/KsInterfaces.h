#pragma once
// The kernel-streaming interfaces of a capture filter, laid out as Microsoft documents them: the topology
// (vidcap.h, which mingw-w64 lacks), through which the extension unit's node is found, and IKsControl
// (mingw-w64's ksproxy.h declares it, but does not compile as C++ here).
#include <windows.h>
#include <unknwn.h>
#include <ks.h>


MIDL_INTERFACE("720D4AC0-7533-11D0-A5D6-28DB04C10000")
IKsTopologyInfo : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_NumCategories(DWORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Category(DWORD index, GUID* category) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NumConnections(DWORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ConnectionInfo(DWORD index, KSTOPOLOGY_CONNECTION* connection) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NodeName(DWORD node, WCHAR* name, DWORD bufferSize, DWORD* nameLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NumNodes(DWORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NodeType(DWORD node, GUID* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateNodeInstance(DWORD node, REFIID iid, void** object) = 0;
};
__CRT_UUID_DECL(IKsTopologyInfo, 0x720D4AC0, 0x7533, 0x11D0, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00)

MIDL_INTERFACE("28F54685-06FD-11D2-B27A-00A0C9223196")
IKsControl : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength, void* data,
                                                 ULONG dataLength, ULONG* bytesReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD method, ULONG methodLength, void* data, ULONG dataLength,
                                               ULONG* bytesReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT event, ULONG eventLength, void* data, ULONG dataLength,
                                              ULONG* bytesReturned) = 0;
};
__CRT_UUID_DECL(IKsControl, 0x28F54685, 0x06FD, 0x11D2, 0xB2, 0x7A, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96)
