#pragma once
// What mingw-w64 lacks of the Windows SDK's vidcap.h: the topology of a kernel-streaming filter, through
// which the extension unit's node is found. Laid out as Microsoft documents IKsTopologyInfo.
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
