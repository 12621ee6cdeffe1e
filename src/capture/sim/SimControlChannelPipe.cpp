// The control channel's end on Windows: a named pipe, \\.\pipe\<name>, which takes one writer at a
// time (`echo unplug> \\.\pipe\<name>` from cmd is one).
#include "capture/sim/SimControlChannel.h"

#include <windows.h>

#include <array>
#include <cstdio>
#include <string_view>
#include <thread>

namespace vistrel::sim {
namespace {

constexpr std::string_view kPipePrefix = R"(\\.\pipe\)";
constexpr DWORD kBufferSize = 512;

std::wstring Wide(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(std::size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

class PipeListener final : public ControlListener {
public:
    // Takes the pipe and two unsignalled manual-reset events: one for the pipe's waits, one to stop.
    PipeListener(HANDLE pipe, HANDLE ioDone, HANDLE stop, std::function<void(std::string_view)> onBytes)
        : pipe(pipe), ioDone(ioDone), stop(stop), onBytes(std::move(onBytes)), reader(&PipeListener::ReadLoop, this) {}

    ~PipeListener() override
    {
        SetEvent(stop);
        reader.join();
        for (HANDLE handle : {pipe, ioDone, stop})
            CloseHandle(handle);
    }

private:
    enum class Outcome { Done, Failed, Stopped };

    // Waits for an overlapped call on the pipe (started says what the call returned), or for stop.
    Outcome Finish(BOOL started, OVERLAPPED& pending, DWORD& bytes)
    {
        if (!started) {
            const DWORD error = GetLastError();
            if (error == ERROR_PIPE_CONNECTED)
                return Outcome::Done;   // the writer came before we waited for it
            if (error != ERROR_IO_PENDING)
                return Outcome::Failed;
            const std::array<HANDLE, 2> events {stop, ioDone};
            if (WaitForMultipleObjects(DWORD(events.size()), events.data(), FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
                CancelIo(pipe);
                GetOverlappedResult(pipe, &pending, &bytes, TRUE);
                return Outcome::Stopped;
            }
        }
        return GetOverlappedResult(pipe, &pending, &bytes, FALSE) ? Outcome::Done : Outcome::Failed;
    }

    // One writer after the other: read each until it closes its end, then wait for the next.
    void ReadLoop()
    {
        std::array<char, kBufferSize> buffer {};
        for (;;) {
            OVERLAPPED pending {};
            pending.hEvent = ioDone;
            ResetEvent(ioDone);
            DWORD bytes = 0;
            Outcome outcome = Finish(ConnectNamedPipe(pipe, &pending), pending, bytes);
            // A writer that came and went before the wait leaves ERROR_NO_DATA; anything else ends the channel.
            if (outcome == Outcome::Failed && GetLastError() != ERROR_NO_DATA) {
                std::fprintf(stderr, "simulator control: the pipe stopped listening: error %lu\n", GetLastError());
                return;
            }
            while (outcome == Outcome::Done) {
                pending = OVERLAPPED {};
                pending.hEvent = ioDone;
                ResetEvent(ioDone);
                outcome = Finish(ReadFile(pipe, buffer.data(), kBufferSize, nullptr, &pending), pending, bytes);
                if (outcome == Outcome::Done && bytes > 0)
                    onBytes(std::string_view(buffer.data(), bytes));
            }
            if (outcome == Outcome::Stopped)
                return;
            DisconnectNamedPipe(pipe);   // the writer has gone (or broke off): the next may come
        }
    }

    HANDLE pipe;
    HANDLE ioDone;
    HANDLE stop;
    std::function<void(std::string_view)> onBytes;
    std::thread reader;
};

} // namespace

std::unique_ptr<ControlListener> ListenForControl(const std::string& path,
                                                  std::function<void(std::string_view)> onBytes)
{
    const std::string name = path.starts_with(kPipePrefix) ? path : std::string(kPipePrefix) + path;
    // The first instance of the name, or none: a second program must not share the first one's commands.
    const HANDLE pipe = CreateNamedPipeW(Wide(name).c_str(),
                                         PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                         1, 0, kBufferSize, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "simulator control: cannot create the pipe %s: error %lu\n", name.c_str(), GetLastError());
        return nullptr;
    }
    const HANDLE ioDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!ioDone || !stop) {
        std::fprintf(stderr, "simulator control: cannot wait on the pipe %s: error %lu\n", name.c_str(), GetLastError());
        for (HANDLE handle : {pipe, ioDone, stop})
            if (handle)
                CloseHandle(handle);
        return nullptr;
    }
    return std::make_unique<PipeListener>(pipe, ioDone, stop, std::move(onBytes));
}

} // namespace vistrel::sim
