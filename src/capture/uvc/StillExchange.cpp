#include "capture/uvc/StillExchange.h"

#include <algorithm>
#include <utility>

namespace vistrel::uvc {

namespace {

constexpr std::uint16_t kTriggerLength = 1;

bool HasStills(const UvcFormat& format, bool needEndpoint)
{
    return format.stills && !format.stills->sizes.empty() && (!needEndpoint || format.stills->endpoint != 0);
}

std::uint8_t StillEndpointOf(const UvcStreamingInterface& interface, std::uint8_t formatIndex)
{
    const UvcFormat* format = interface.Format(formatIndex);
    if (format && HasStills(*format, true))
        return format->stills->endpoint;
    const auto any = std::ranges::find_if(interface.formats, [](const UvcFormat& f) { return HasStills(f, true); });
    return any == interface.formats.end() ? 0 : any->stills->endpoint;
}

} // namespace

StillMethod ChooseStillMethod(const UvcStreamingInterface& interface)
{
    const auto declares = [&](bool needEndpoint) {
        return std::ranges::any_of(interface.formats, [&](const UvcFormat& f) { return HasStills(f, needEndpoint); });
    };
    if (interface.stillCaptureMethod == static_cast<std::uint8_t>(StillMethod::Trigger) && declares(false))
        return StillMethod::Trigger;
    if (interface.stillCaptureMethod == static_cast<std::uint8_t>(StillMethod::StillEndpoint) && declares(true))
        return StillMethod::StillEndpoint;
    return StillMethod::NextVideoFrame;
}

StillExchange::StillExchange(StillMethod method, const UvcStreamingInterface& interface, StillProbe wanted,
                             std::chrono::milliseconds timeout)
    : method(method),
      interfaceNumber(interface.number),
      stillEndpoint(StillEndpointOf(interface, wanted.formatIndex)),
      videoEndpoint(interface.videoEndpoint),
      wanted(wanted),
      timeout(timeout)
{
}

StillExchange::Step StillExchange::Send(Phase next, std::uint8_t request, std::uint8_t selector,
                                        std::vector<std::uint8_t> data, std::uint16_t length)
{
    phase = next;
    return {Action::SendControl, MakeClassRequest(request, selector, 0, interfaceNumber, length), std::move(data)};
}

StillExchange::Step StillExchange::SendTrigger()
{
    const std::uint8_t value = method == StillMethod::StillEndpoint ? kTriggerStillOnStillEndpoint : kTriggerStill;
    return Send(Phase::Triggering, SET_CUR, VS_STILL_IMAGE_TRIGGER_CONTROL, {value}, kTriggerLength);
}

StillExchange::Step StillExchange::Await() const
{
    Step step;
    step.action = Action::AwaitStill;
    step.endpoint = method == StillMethod::StillEndpoint ? stillEndpoint : videoEndpoint;
    return step;
}

StillExchange::Step StillExchange::Fail(Failure why)
{
    failure = why;
    phase = Phase::Failed;
    owed = awaited = 0;
    // The device may have lost the still's commit with whatever failed; make it again next time.
    committed.reset();
    return {Action::Failed, {}, {}, 0};
}

// What to do once no request is in flight.
StillExchange::Step StillExchange::Next(Clock::time_point now)
{
    if (owed > 0) {
        if (method == StillMethod::NextVideoFrame) {
            awaited += std::exchange(owed, 0);
            deadline = now + timeout;
        } else if (!committed) {
            return Send(Phase::Probing, SET_CUR, VS_STILL_PROBE_CONTROL, EncodeStillProbe(wanted), kStillProbeLength);
        } else {
            return SendTrigger();
        }
    }
    if (awaited > 0) {
        phase = Phase::Awaiting;
        return Await();
    }
    phase = Phase::Idle;
    return {Action::Idle, {}, {}, 0};
}

StillExchange::Step StillExchange::Prepare(Clock::time_point now)
{
    if (method == StillMethod::NextVideoFrame || committed || (phase != Phase::Idle && phase != Phase::Failed))
        return Tick(now);
    failure = Failure::None;
    return Send(Phase::Probing, SET_CUR, VS_STILL_PROBE_CONTROL, EncodeStillProbe(wanted), kStillProbeLength);
}

StillExchange::Step StillExchange::Request(Clock::time_point now)
{
    ++owed;
    switch (phase) {
    case Phase::Failed:
        failure = Failure::None;
        [[fallthrough]];
    case Phase::Idle:
    case Phase::Awaiting:
        return Next(now);
    default:
        return {Action::Wait, {}, {}, 0};
    }
}

StillExchange::Step StillExchange::ControlDone(bool ok, std::span<const std::uint8_t> answer, Clock::time_point now)
{
    if (!ok)
        return Fail(Failure::ControlFailed);
    switch (phase) {
    case Phase::Probing:
        return Send(Phase::ReadingProbe, GET_CUR, VS_STILL_PROBE_CONTROL, {}, kStillProbeLength);
    case Phase::ReadingProbe:
        probed = DecodeStillProbe(answer);
        if (!probed)
            return Fail(Failure::BrokenAnswer);
        return Send(Phase::Committing, SET_CUR, VS_STILL_COMMIT_CONTROL, EncodeStillProbe(*probed), kStillProbeLength);
    case Phase::Committing:
        committed = probed;
        return Next(now);
    case Phase::Triggering:
        --owed;
        ++awaited;
        deadline = now + timeout;
        return Next(now);
    default:
        return Next(now);
    }
}

bool StillExchange::OfferFrame(bool still, bool fromStillEndpoint)
{
    if (awaited == 0)
        return false;
    bool wantedFrame = false;
    switch (method) {
    case StillMethod::NextVideoFrame: wantedFrame = !fromStillEndpoint; break;
    case StillMethod::Trigger: wantedFrame = still && !fromStillEndpoint; break;
    case StillMethod::StillEndpoint: wantedFrame = fromStillEndpoint; break;
    }
    if (!wantedFrame)
        return false;
    --awaited;
    if (awaited == 0 && owed == 0 && phase == Phase::Awaiting)
        phase = Phase::Idle;
    return true;
}

StillExchange::Step StillExchange::Tick(Clock::time_point now)
{
    if (awaited > 0 && now >= deadline) {
        awaited = 0;
        if (phase == Phase::Awaiting)
            return Fail(Failure::TimedOut);
        failure = Failure::TimedOut; // a trigger is in flight; its still gets a time of its own
    }
    switch (phase) {
    case Phase::Awaiting: return Await();
    case Phase::Idle: return {Action::Idle, {}, {}, 0};
    case Phase::Failed: return {Action::Failed, {}, {}, 0};
    default: return {Action::Wait, {}, {}, 0};
    }
}

void StillExchange::Cancel()
{
    phase = Phase::Idle;
    failure = Failure::None;
    owed = awaited = 0;
    committed.reset();
    probed.reset();
}

} // namespace vistrel::uvc
