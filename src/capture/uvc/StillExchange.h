#pragma once
// One still from the device, as a small state machine the transport drives: it names each control
// request to send and what to wait for, and is told what came back. Method 2: still probe SET, still
// probe GET, still commit SET (once), then the trigger SET_CUR 1 per still, which arrives on the video
// endpoint with STI. Method 3: the same, with trigger value 2; the still comes on the still endpoint.
// Method 1: no requests; the next video frame is the still. Not thread-safe: the caller serialises every
// call (the usb streamer calls it from its own thread and from libusb's event thread, under one lock).
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "capture/uvc/ClassRequest.h"
#include "capture/uvc/StreamingControl.h"

namespace vistrel::uvc {

enum class StillMethod : std::uint8_t { NextVideoFrame = 1, Trigger = 2, StillEndpoint = 3 };

// Method 2 or 3 when the interface declares it and a format lists still-image frames (with a still
// endpoint for 3); method 1 otherwise.
StillMethod ChooseStillMethod(const UvcStreamingInterface& interface);

// bTrigger of the still image trigger control.
constexpr std::uint8_t kTriggerStill = 1;
constexpr std::uint8_t kTriggerStillOnStillEndpoint = 2;

class StillExchange
{
public:
    using Clock = std::chrono::steady_clock;

    enum class Action {
        SendControl, // send `request` (with `data` for SET_CUR), then call ControlDone
        AwaitStill,  // the still comes from `endpoint`; offer complete frames, call Tick now and then
        Wait,        // a request is in flight; nothing new to do
        Idle,        // every still asked for has arrived
        Failed,      // see Why(); the stills asked for are given up, the next Request starts afresh
    };
    enum class Failure { None, ControlFailed, BrokenAnswer, TimedOut };

    struct Step
    {
        Action action = Action::Idle;
        ClassRequest request;
        std::vector<std::uint8_t> data;
        std::uint8_t endpoint = 0; // AwaitStill: the video endpoint (methods 1, 2) or the still endpoint (3)
    };

    // wanted: from StillProbeFor (unused for method 1). timeout: how long a triggered still may take.
    StillExchange(StillMethod method, const UvcStreamingInterface& interface, StillProbe wanted,
                  std::chrono::milliseconds timeout);

    // Makes the still probe and commit ahead of the first still (when streaming starts), so the
    // still's dwMaxVideoFrameSize is known before any payload of it arrives.
    Step Prepare(Clock::time_point now);
    // Asks for one more still (Scan, or the button); several may be outstanding.
    Step Request(Clock::time_point now);
    // The outcome of the request the last SendControl named; answer holds a GET's data.
    Step ControlDone(bool ok, std::span<const std::uint8_t> answer, Clock::time_point now);
    // A complete frame from the video endpoint or, for method 3, from the still endpoint. True when it
    // is an awaited still (the caller hands it on), false when it is not one or none is awaited.
    bool OfferFrame(bool still, bool fromStillEndpoint);
    // Gives up stills that are overdue.
    Step Tick(Clock::time_point now);
    // Forgets everything outstanding (stream stopped, device gone); the commit must be made again.
    void Cancel();

    StillMethod Method() const { return method; }
    Failure Why() const { return failure; }
    // The device's answer to the still probe, committed: its dwMaxVideoFrameSize bounds the still.
    const std::optional<StillProbe>& Committed() const { return committed; }
    int Outstanding() const { return owed + awaited; }

private:
    enum class Phase { Idle, Probing, ReadingProbe, Committing, Triggering, Awaiting, Failed };

    Step Send(Phase next, std::uint8_t request, std::uint8_t selector, std::vector<std::uint8_t> data,
              std::uint16_t length);
    Step SendTrigger();
    Step Await() const;
    Step Fail(Failure why);
    Step Next(Clock::time_point now);

    const StillMethod method;
    const std::uint8_t interfaceNumber;
    const std::uint8_t stillEndpoint;
    const std::uint8_t videoEndpoint;
    const StillProbe wanted;
    const std::chrono::milliseconds timeout;

    Phase phase = Phase::Idle;
    Failure failure = Failure::None;
    std::optional<StillProbe> committed;
    std::optional<StillProbe> probed;
    int owed = 0;    // asked for, trigger not yet sent
    int awaited = 0; // triggered, not yet arrived
    Clock::time_point deadline {};
};

} // namespace vistrel::uvc
