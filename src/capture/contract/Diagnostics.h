#pragma once
// Diagnostics of the capture engine and its backends without a toolkit: the application installs a
// sink that forwards the lines to its own logging; without one they go nowhere.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "capture/contract/Result.h"

namespace vistrel {

enum class DiagnosticTopic { Capture, Still, Devices };

// Called from any thread, the streaming threads included.
using DiagnosticSink = void (*)(DiagnosticTopic topic, const std::string& line);

inline std::atomic<DiagnosticSink> diagnosticSink {nullptr};

inline void SetDiagnosticSink(DiagnosticSink sink)
{
    diagnosticSink.store(sink);
}

// One line about a failure outside the program (a device, a driver), with its reason.
inline void Diagnose(DiagnosticTopic topic, const std::string& line)
{
    if (const DiagnosticSink sink = diagnosticSink.load())
        sink(topic, line);
}

// A failed result as a reason a person can read, with the code for the ones this table lacks.
inline std::string ResultText(HRESULT hr)
{
    struct Reason
    {
        HRESULT result;
        const char* text;
    };
    static constexpr Reason kReasons[] = {
        {HresultFromWin32(ERROR_SHARING_VIOLATION), "the device is in use by another program"},
        {HresultFromWin32(ERROR_NO_SYSTEM_RESOURCES), "not enough USB bandwidth or system resources"},
        {HresultFromWin32(ERROR_NOT_READY), "the device is not ready"},
        {HresultFromWin32(ERROR_DEVICE_NOT_CONNECTED), "the device is not connected"},
        {HresultFromWin32(ERROR_NOT_FOUND), "the device does not support it"},
        {HresultFromWin32(5), "access denied"},
        {HresultFromWin32(31), "the device failed the request"},
        {HresultFromWin32(50), "not supported"},
        {HresultFromWin32(87), "the device refused the value"},
        {HresultFromWin32(121), "the device did not answer in time"},
        {HresultFromWin32(1117), "input/output error"},
        {E_OUTOFMEMORY, "out of memory"},
        {E_NOINTERFACE, "the device does not offer the interface"},
        {E_NOTIMPL, "not implemented"},
        {E_FAIL, "unspecified failure"},
    };
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<std::uint32_t>(hr));
    for (const Reason& reason : kReasons) {
        if (reason.result == hr)
            return std::string(reason.text) + " (" + code + ")";
    }
    return std::string("result ") + code;
}

} // namespace vistrel
