#pragma once
// 32-bit result codes in the COM convention: negative means failure.
#include <cstdint>

// On Windows the SDK's macros name these codes with the same numbers; the contract takes them, so that it
// can be included before or after <windows.h>.
#if defined(_WIN32)
#include <winerror.h>
typedef long HRESULT;
#endif

namespace vistrel {

#if defined(_WIN32)
using HRESULT = ::HRESULT;
#else
using HRESULT = std::int32_t;
#endif

constexpr HRESULT MakeResult(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

#ifndef S_OK
constexpr HRESULT S_OK = 0;
#endif
#ifndef S_FALSE
constexpr HRESULT S_FALSE = 1;
#endif
#ifndef E_FAIL
constexpr HRESULT E_FAIL = MakeResult(0x80004005u);
#endif
#ifndef E_POINTER
constexpr HRESULT E_POINTER = MakeResult(0x80004003u);
#endif
#ifndef E_NOINTERFACE
constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002u);
#endif
#ifndef E_NOTIMPL
constexpr HRESULT E_NOTIMPL = MakeResult(0x80004001u);
#endif
#ifndef E_OUTOFMEMORY
constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000Eu);
#endif
#ifndef E_INVALIDARG
constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057u);
#endif
#ifndef E_UNEXPECTED
constexpr HRESULT E_UNEXPECTED = MakeResult(0x8000FFFFu);
#endif

// A system error code as a result code (facility 7).
constexpr HRESULT HresultFromWin32(std::uint32_t error)
{
    return error == 0 ? S_OK : MakeResult((error & 0xFFFFu) | 0x80070000u);
}

#ifndef ERROR_ACCESS_DENIED
constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
#endif
#ifndef ERROR_NOT_ENOUGH_MEMORY
constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
#endif
#ifndef ERROR_GEN_FAILURE
constexpr std::uint32_t ERROR_GEN_FAILURE = 31;
#endif
#ifndef ERROR_NOT_SUPPORTED
constexpr std::uint32_t ERROR_NOT_SUPPORTED = 50;
#endif
#ifndef ERROR_INVALID_PARAMETER
constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
#endif
#ifndef ERROR_SEM_TIMEOUT
constexpr std::uint32_t ERROR_SEM_TIMEOUT = 121;
#endif
#ifndef ERROR_IO_DEVICE
constexpr std::uint32_t ERROR_IO_DEVICE = 1117;
#endif
#ifndef ERROR_SET_NOT_FOUND
constexpr std::uint32_t ERROR_SET_NOT_FOUND = 1170;
#endif
#ifndef ERROR_NOT_READY
constexpr std::uint32_t ERROR_NOT_READY = 21;
#endif
#ifndef ERROR_SHARING_VIOLATION
constexpr std::uint32_t ERROR_SHARING_VIOLATION = 32;
#endif
#ifndef ERROR_INSUFFICIENT_BUFFER
constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
#endif
#ifndef ERROR_MORE_DATA
constexpr std::uint32_t ERROR_MORE_DATA = 234;
#endif
#ifndef ERROR_NOT_FOUND
constexpr std::uint32_t ERROR_NOT_FOUND = 1168;
#endif
#ifndef ERROR_NO_SYSTEM_RESOURCES
constexpr std::uint32_t ERROR_NO_SYSTEM_RESOURCES = 1450;
#endif
#ifndef ERROR_RESOURCE_NAME_NOT_FOUND
constexpr std::uint32_t ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
#endif
#ifndef ERROR_DEVICE_NOT_CONNECTED
constexpr std::uint32_t ERROR_DEVICE_NOT_CONNECTED = 1167;
#endif

#ifndef E_PROP_ID_UNSUPPORTED
constexpr HRESULT E_PROP_ID_UNSUPPORTED = HresultFromWin32(ERROR_NOT_FOUND); // 0x80070490
#endif

constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }

} // namespace vistrel
