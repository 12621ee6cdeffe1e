#pragma once
// A scanner window stand-in for the engine tests: records what the engine asks of it and keeps the
// preview surface's latest frame.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/engine/ICaptureHost.h"
#include "capture/runtime/LatestFrameMailbox.h"
#include "../support/ThreadCount.h"

namespace vistrel::test {

class TestSurface : public IVideoSurface {
public:
    void PlacementChanged(const VideoPlacement& placement) override
    {
        std::lock_guard lock(mutex);
        lastPlacement = placement;
    }

    void PresentFrame(std::shared_ptr<const VideoFrame> frame) override
    {
        {
            std::lock_guard lock(mutex);
            ++presented;
        }
        mailbox.Post(std::move(frame));
        changed.notify_all();
    }

    VideoPlacement Placement()
    {
        std::lock_guard lock(mutex);
        return lastPlacement;
    }

    // Waits until at least count frames have been presented in all.
    bool WaitForFrames(std::uint64_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return presented >= count; });
    }

    std::uint64_t Presented()
    {
        std::lock_guard lock(mutex);
        return presented;
    }

    LatestFrameMailbox<std::shared_ptr<const VideoFrame>> mailbox;

private:
    std::mutex mutex;
    std::condition_variable changed;
    VideoPlacement lastPlacement;
    std::uint64_t presented = 0;
};

struct StillRecord {
    std::thread::id thread;
    std::vector<std::uint8_t> bytes;
};

class TestHost : public ICaptureHost {
public:
    std::int32_t filmSize = 0;
    std::int32_t previewWidth = 720;
    std::int32_t previewHeight = 486;
    TestSurface surface;
    std::vector<Reason> messages;
    int backgroundBlackCalls = 0;
    std::vector<bool> defaultCustomChecks;
    // Every refresh and Default/Custom check, in order, for sequence checks ("refresh 0,3", "refresh all", ...).
    std::shared_ptr<std::vector<std::string>> log = std::make_shared<std::vector<std::string>>();

    std::int32_t CurrentFilmSize() override { return filmSize; }
    void PreviewArea(std::int32_t* width, std::int32_t* height) override
    {
        *width = previewWidth;
        *height = previewHeight;
    }
    IVideoSurface* PreviewSurface() override { return &surface; }
    void SetPreviewBackgroundBlack() override { ++backgroundBlackCalls; }
    void ReportError(const Reason& reason) override
    {
        messages.push_back(reason);
        if (onReport)
            onReport();
    }
    // Runs inside a report, as a careless host's nested event loop would.
    std::function<void()> onReport;
    std::int32_t OnStillFrame(double, const std::uint8_t* bytes, std::int32_t length) override
    {
        {
            std::lock_guard lock(stillMutex);
            stills.push_back({std::this_thread::get_id(), std::vector<std::uint8_t>(bytes, bytes + length)});
        }
        stillArrived.notify_all();
        return 0;
    }
    HRESULT RefreshPropertyControls(const CameraProperty& slot) override
    {
        log->push_back("refresh " + std::to_string(slot.family) + "," + std::to_string(slot.index));
        return S_OK;
    }
    HRESULT RefreshAllPropertyControls() override
    {
        log->push_back("refresh all");
        return S_OK;
    }
    void CheckDefaultCustom(bool defaultChecked) override
    {
        defaultCustomChecks.push_back(defaultChecked);
        log->push_back(defaultChecked ? "check default" : "check custom");
    }

    bool WaitForStills(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(stillMutex);
        return stillArrived.wait_for(lock, timeout, [&] { return stills.size() >= count; });
    }
    std::vector<StillRecord> Stills()
    {
        std::lock_guard lock(stillMutex);
        return stills;
    }
    // The scanner's button, heard on a device thread as the window hears it.
    void OnScannerButton() override
    {
        {
            std::lock_guard lock(stillMutex);
            ++buttonPresses;
        }
        stillArrived.notify_all();
    }
    bool WaitForButtonPresses(int count, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(stillMutex);
        return stillArrived.wait_for(lock, timeout, [&] { return buttonPresses >= count; });
    }

private:
    int buttonPresses = 0;
    std::mutex stillMutex;
    std::condition_variable stillArrived;
    std::vector<StillRecord> stills;
};


} // namespace vistrel::test
