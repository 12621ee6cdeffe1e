#pragma once
// 32-bit result codes in the COM convention: negative means failure.
#include <cstdint>

namespace vistrel {

using HRESULT = std::int32_t;

constexpr HRESULT MakeResult(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = MakeResult(0x80004005u);
constexpr HRESULT E_POINTER = MakeResult(0x80004003u);
constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002u);
constexpr HRESULT E_NOTIMPL = MakeResult(0x80004001u);
constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057u);
constexpr HRESULT E_UNEXPECTED = MakeResult(0x8000FFFFu);

// A system error code as a result code (facility 7).
constexpr HRESULT HresultFromWin32(std::uint32_t error)
{
    return error == 0 ? S_OK : MakeResult((error & 0xFFFFu) | 0x80070000u);
}

constexpr std::uint32_t ERROR_NOT_READY = 21;
constexpr std::uint32_t ERROR_SHARING_VIOLATION = 32;
constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
constexpr std::uint32_t ERROR_MORE_DATA = 234;
constexpr std::uint32_t ERROR_NOT_FOUND = 1168;
constexpr std::uint32_t ERROR_NO_SYSTEM_RESOURCES = 1450;
constexpr std::uint32_t ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr std::uint32_t ERROR_DEVICE_NOT_CONNECTED = 1167;

constexpr HRESULT E_PROP_ID_UNSUPPORTED = HresultFromWin32(ERROR_NOT_FOUND); // 0x80070490

constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }

} // namespace vistrel
