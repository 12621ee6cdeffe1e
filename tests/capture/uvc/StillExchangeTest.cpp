#include <gtest/gtest.h>

#include <vector>

#include "capture/uvc/StillExchange.h"

namespace vistrel::uvc {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Action = StillExchange::Action;
using Failure = StillExchange::Failure;

constexpr std::uint8_t kInterface = 1;
constexpr std::uint8_t kVideoEndpoint = 0x82;
constexpr std::uint8_t kStillEndpoint = 0x84;
constexpr auto kTimeout = 1500ms;

UvcStreamingInterface Interface(std::uint8_t method)
{
    UvcStreamingInterface s;
    s.number = kInterface;
    s.videoEndpoint = kVideoEndpoint;
    s.stillCaptureMethod = method;
    UvcFormat mjpeg;
    mjpeg.index = 1;
    mjpeg.frames.push_back({});
    mjpeg.stills = UvcStillFrames {method == 3 ? kStillEndpoint : std::uint8_t {0}, {{2592, 1944}, {2448, 2448}}, {}};
    s.formats.push_back(mjpeg);
    return s;
}

TEST(StillExchange, MethodFollowsWhatTheDescriptorsDeclare)
{
    EXPECT_EQ(ChooseStillMethod(Interface(2)), StillMethod::Trigger);
    EXPECT_EQ(ChooseStillMethod(Interface(3)), StillMethod::StillEndpoint);
    EXPECT_EQ(ChooseStillMethod(Interface(1)), StillMethod::NextVideoFrame);
    EXPECT_EQ(ChooseStillMethod(Interface(0)), StillMethod::NextVideoFrame);

    auto noStills = Interface(2);
    noStills.formats[0].stills.reset();
    EXPECT_EQ(ChooseStillMethod(noStills), StillMethod::NextVideoFrame) << "method 2 without still frames";
    auto noStillEndpoint = Interface(3);
    noStillEndpoint.formats[0].stills->endpoint = 0;
    EXPECT_EQ(ChooseStillMethod(noStillEndpoint), StillMethod::NextVideoFrame) << "method 3 without its endpoint";
}

// The device's answer to the still probe: what was asked, with its sizes filled in.
Bytes ProbeAnswer(StillProbe asked)
{
    asked.maxVideoFrameSize = 2592 * 1944 * 2;
    asked.maxPayloadTransferSize = 16384;
    return EncodeStillProbe(asked);
}

class Exchange : public testing::Test
{
protected:
    const StillExchange::Clock::time_point t0 {};
    const StillProbe wanted {1, 2, 0, 0, 0};

    // Runs probe, read-back and commit, checking each request; returns the step after the commit.
    StillExchange::Step Commit(StillExchange& exchange, StillExchange::Step step)
    {
        EXPECT_EQ(step.action, Action::SendControl);
        EXPECT_EQ(step.request, MakeClassRequest(SET_CUR, VS_STILL_PROBE_CONTROL, 0, kInterface, 11));
        EXPECT_EQ(step.data, EncodeStillProbe(wanted));
        step = exchange.ControlDone(true, {}, t0);
        EXPECT_EQ(step.action, Action::SendControl);
        EXPECT_EQ(step.request, MakeClassRequest(GET_CUR, VS_STILL_PROBE_CONTROL, 0, kInterface, 11));
        step = exchange.ControlDone(true, ProbeAnswer(wanted), t0);
        EXPECT_EQ(step.action, Action::SendControl);
        EXPECT_EQ(step.request, MakeClassRequest(SET_CUR, VS_STILL_COMMIT_CONTROL, 0, kInterface, 11));
        EXPECT_EQ(step.data, ProbeAnswer(wanted)) << "the commit carries the device's answer";
        return exchange.ControlDone(true, {}, t0);
    }

    void ExpectTrigger(const StillExchange::Step& step, std::uint8_t value)
    {
        EXPECT_EQ(step.action, Action::SendControl);
        EXPECT_EQ(step.request, MakeClassRequest(SET_CUR, VS_STILL_IMAGE_TRIGGER_CONTROL, 0, kInterface, 1));
        EXPECT_EQ(step.data, Bytes {value});
    }
};

TEST_F(Exchange, MethodTwoCommitsOnceThenTriggersEachStill)
{
    StillExchange exchange(StillMethod::Trigger, Interface(2), wanted, kTimeout);
    auto step = Commit(exchange, exchange.Request(t0));
    ASSERT_TRUE(exchange.Committed());
    EXPECT_EQ(exchange.Committed()->maxVideoFrameSize, 2592u * 1944 * 2);
    ExpectTrigger(step, kTriggerStill);
    step = exchange.ControlDone(true, {}, t0);
    EXPECT_EQ(step.action, Action::AwaitStill);
    EXPECT_EQ(step.endpoint, kVideoEndpoint);

    EXPECT_FALSE(exchange.OfferFrame(false, false)) << "a video frame is no still";
    EXPECT_TRUE(exchange.OfferFrame(true, false));
    EXPECT_FALSE(exchange.OfferFrame(true, false)) << "nothing more awaited";
    EXPECT_EQ(exchange.Tick(t0 + 10s).action, Action::Idle);

    // The next still needs the trigger only.
    ExpectTrigger(exchange.Request(t0 + 10s), kTriggerStill);
    EXPECT_EQ(exchange.ControlDone(true, {}, t0 + 10s).action, Action::AwaitStill);
    EXPECT_TRUE(exchange.OfferFrame(true, false));
    EXPECT_EQ(exchange.Why(), Failure::None);
}

TEST_F(Exchange, PrepareCommitsBeforeAnyStillIsAskedFor)
{
    StillExchange exchange(StillMethod::Trigger, Interface(2), wanted, kTimeout);
    EXPECT_EQ(Commit(exchange, exchange.Prepare(t0)).action, Action::Idle);
    ASSERT_TRUE(exchange.Committed());
    EXPECT_EQ(exchange.Prepare(t0).action, Action::Idle) << "committed already";
    ExpectTrigger(exchange.Request(t0), kTriggerStill);

    StillExchange videoFrame(StillMethod::NextVideoFrame, Interface(1), wanted, kTimeout);
    EXPECT_EQ(videoFrame.Prepare(t0).action, Action::Idle) << "method 1 has nothing to commit";
}

TEST_F(Exchange, MethodThreeTriggersTheStillEndpoint)
{
    StillExchange exchange(StillMethod::StillEndpoint, Interface(3), wanted, kTimeout);
    auto step = Commit(exchange, exchange.Request(t0));
    ExpectTrigger(step, kTriggerStillOnStillEndpoint);
    step = exchange.ControlDone(true, {}, t0);
    EXPECT_EQ(step.action, Action::AwaitStill);
    EXPECT_EQ(step.endpoint, kStillEndpoint);
    EXPECT_FALSE(exchange.OfferFrame(true, false)) << "a still on the video endpoint is not method 3's";
    EXPECT_TRUE(exchange.OfferFrame(false, true));
}

TEST_F(Exchange, MethodOneTakesTheNextVideoFrame)
{
    StillExchange exchange(StillMethod::NextVideoFrame, Interface(1), wanted, kTimeout);
    const auto step = exchange.Request(t0);
    EXPECT_EQ(step.action, Action::AwaitStill) << "no request is sent";
    EXPECT_EQ(step.endpoint, kVideoEndpoint);
    EXPECT_TRUE(exchange.OfferFrame(false, false));
    EXPECT_EQ(exchange.Tick(t0).action, Action::Idle);
}

TEST_F(Exchange, ScansDuringTheExchangeEachGetATrigger)
{
    StillExchange exchange(StillMethod::Trigger, Interface(2), wanted, kTimeout);
    auto step = exchange.Request(t0);
    EXPECT_EQ(exchange.Request(t0).action, Action::Wait) << "the probe is in flight";
    step = Commit(exchange, step);
    ExpectTrigger(step, kTriggerStill);
    EXPECT_EQ(exchange.Request(t0).action, Action::Wait) << "the first trigger is in flight";
    ExpectTrigger(exchange.ControlDone(true, {}, t0), kTriggerStill);
    ExpectTrigger(exchange.ControlDone(true, {}, t0), kTriggerStill);
    EXPECT_EQ(exchange.ControlDone(true, {}, t0).action, Action::AwaitStill);
    EXPECT_EQ(exchange.Outstanding(), 3);
    EXPECT_TRUE(exchange.OfferFrame(true, false));
    EXPECT_TRUE(exchange.OfferFrame(true, false));
    EXPECT_TRUE(exchange.OfferFrame(true, false));
    EXPECT_FALSE(exchange.OfferFrame(true, false));
    EXPECT_EQ(exchange.Outstanding(), 0);
}

TEST_F(Exchange, AStillThatNeverComesTimesOut)
{
    StillExchange exchange(StillMethod::Trigger, Interface(2), wanted, kTimeout);
    Commit(exchange, exchange.Request(t0));
    const auto triggered = t0 + 100ms;
    exchange.ControlDone(true, {}, triggered);
    EXPECT_EQ(exchange.Tick(triggered + kTimeout - 1ms).action, Action::AwaitStill);
    EXPECT_EQ(exchange.Tick(triggered + kTimeout).action, Action::Failed);
    EXPECT_EQ(exchange.Why(), Failure::TimedOut);
    EXPECT_FALSE(exchange.OfferFrame(true, false)) << "a still after the time-out is not awaited any more";

    // The next Scan starts afresh, commit included.
    const auto step = exchange.Request(triggered + 5s);
    EXPECT_EQ(step.request.value, VS_STILL_PROBE_CONTROL << 8);
    EXPECT_EQ(exchange.Why(), Failure::None);
}

TEST_F(Exchange, FailedRequestsAndBrokenAnswersEndTheExchange)
{
    struct Case
    {
        const char* what;
        int failAt; // 0 probe, 1 read-back, 2 commit, 3 trigger
        bool brokenAnswer;
        Failure why;
    };
    const Case cases[] = {
        {"probe stalls", 0, false, Failure::ControlFailed},
        {"read-back stalls", 1, false, Failure::ControlFailed},
        {"read-back too short", 1, true, Failure::BrokenAnswer},
        {"commit stalls", 2, false, Failure::ControlFailed},
        {"trigger stalls", 3, false, Failure::ControlFailed},
    };
    for (const Case& c : cases) {
        StillExchange exchange(StillMethod::Trigger, Interface(2), wanted, kTimeout);
        auto step = exchange.Request(t0);
        for (int i = 0; i < c.failAt; ++i)
            step = exchange.ControlDone(true, i == 1 ? ProbeAnswer(wanted) : Bytes {}, t0);
        step = c.brokenAnswer ? exchange.ControlDone(true, Bytes(10, 0), t0) : exchange.ControlDone(false, {}, t0);
        EXPECT_EQ(step.action, Action::Failed) << c.what;
        EXPECT_EQ(exchange.Why(), c.why) << c.what;
        EXPECT_EQ(exchange.Outstanding(), 0) << c.what;
        EXPECT_FALSE(exchange.Committed()) << c.what;
        EXPECT_FALSE(exchange.OfferFrame(true, false)) << c.what;
    }
}

TEST_F(Exchange, CancelForgetsTheCommit)
{
    StillExchange exchange(StillMethod::Trigger, Interface(2), wanted, kTimeout);
    Commit(exchange, exchange.Request(t0));
    exchange.ControlDone(true, {}, t0);
    exchange.Cancel();
    EXPECT_EQ(exchange.Outstanding(), 0);
    EXPECT_FALSE(exchange.OfferFrame(true, false));
    EXPECT_EQ(exchange.Request(t0).request.value, VS_STILL_PROBE_CONTROL << 8);
}

} // namespace
} // namespace vistrel::uvc
