#include <gtest/gtest.h>

#include "capture/engine/CSGCallback.h"

namespace vistrel::test {
namespace {

struct Calls {
    int buffers = 0;
    int samples = 0;
    void* context = nullptr;
    std::int32_t length = 0;
};

std::int32_t CountBuffer(void* context, double, const std::uint8_t*, std::int32_t length)
{
    auto* calls = static_cast<Calls*>(context);
    ++calls->buffers;
    calls->context = context;
    calls->length = length;
    return 0;
}

std::int32_t CountSample(void* context, double, const MediaSample&)
{
    ++static_cast<Calls*>(context)->samples;
    return 0;
}

TEST(CSGCallback, ForwardsOnlyTheCallOfItsMode)
{
    struct Case {
        std::int32_t mode;
        int buffers;
        int samples;
    };
    for (const Case c : {Case {0, 0, 1}, Case {1, 1, 0}}) {
        Calls calls;
        CSGCallback callback;
        callback.mode = c.mode;
        callback.context = &calls;
        callback.bufferHandler = CountBuffer;
        callback.sampleHandler = CountSample;
        const std::uint8_t bytes[3] {1, 2, 3};
        EXPECT_EQ(callback.BufferCB(0.5, bytes, 3), S_OK);
        EXPECT_EQ(callback.SampleCB(0.5, MediaSample {bytes, 3, 0.5, nullptr}), S_OK);
        EXPECT_EQ(calls.buffers, c.buffers) << "mode " << c.mode;
        EXPECT_EQ(calls.samples, c.samples) << "mode " << c.mode;
        if (c.buffers) {
            EXPECT_EQ(calls.context, &calls);
            EXPECT_EQ(calls.length, 3);
        }
    }
}

TEST(CSGCallback, WithoutAHandlerNothingIsCalled)
{
    CSGCallback callback;
    callback.mode = 1;
    EXPECT_EQ(callback.BufferCB(0, nullptr, 0), S_OK);
}

TEST(CSGCallback, CountsAreFixedAnswers)
{
    CSGCallback callback;
    EXPECT_EQ(callback.AddRef(), 2u);
    EXPECT_EQ(callback.AddRef(), 2u);
    EXPECT_EQ(callback.Release(), 1u);
    EXPECT_EQ(callback.Release(), 1u);
}

TEST(CSGCallback, AnswersOnlyItsTwoInterfaces)
{
    CSGCallback callback;
    void* out = nullptr;
    EXPECT_EQ(callback.QueryInterface(IID_ISampleGrabberCB, &out), S_OK);
    EXPECT_EQ(out, static_cast<ISampleGrabberCB*>(&callback));
    out = nullptr;
    EXPECT_EQ(callback.QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, static_cast<ISampleGrabberCB*>(&callback));

    int marker = 0;
    void* untouched = &marker;
    void* before = untouched;
    EXPECT_EQ(callback.QueryInterface(PIN_CATEGORY_STILL, &untouched), E_NOINTERFACE);
    EXPECT_EQ(untouched, before);
    EXPECT_EQ(callback.QueryInterface(IID_ISampleGrabberCB, nullptr), E_POINTER);
}

} // namespace
} // namespace vistrel::test
