// How many threads this process has right now, for tests that check nothing is left running.
#pragma once

#include <chrono>
#include <cstddef>
#include <thread>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <tlhelp32.h>
#else
#include <filesystem>
#endif

namespace vistrel::test {

inline std::size_t ThreadCount()
{
#if defined(_WIN32)
    // Windows has no /proc: the system's snapshot of every thread, this process's counted.
    std::size_t count = 0;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    THREADENTRY32 entry {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++count;
    CloseHandle(snapshot);
    return count;
#else
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++count;
    return count;
#endif
}

// The count once threads that were just joined are gone. A joined thread can still be listed for a
// moment, until the system has reaped it, so this waits up to a second for the count to come down to the
// one expected; a thread really left behind keeps it above.
inline std::size_t ThreadCountOnceExited(std::size_t expected)
{
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + 1s;
    std::size_t count = ThreadCount();
    while (count > expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
        count = ThreadCount();
    }
    return count;
}

} // namespace vistrel::test
