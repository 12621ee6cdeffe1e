#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "capture/uvc/PayloadAssembler.h"

namespace vistrel::uvc {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t F0 = kPayloadEoh;
constexpr std::uint8_t F1 = kPayloadEoh | kPayloadFid;
constexpr std::uint8_t EOF_ = kPayloadEof;
constexpr std::uint8_t STI = kPayloadSti;
constexpr std::uint8_t ERR = kPayloadError;

// A payload with a two-byte header.
Bytes P(std::uint8_t info, Bytes data = {})
{
    const std::uint8_t header[] {2, info};
    data.insert(data.begin(), std::begin(header), std::end(header));
    return data;
}

struct Delivered
{
    Bytes bytes;
    bool still = false;
    friend bool operator==(const Delivered&, const Delivered&) = default;
};

void PrintTo(const Delivered& d, std::ostream* os)
{
    *os << (d.still ? "still{" : "frame{") << testing::PrintToString(d.bytes) << "}";
}

struct Collector
{
    std::vector<Delivered> frames;
    PayloadAssembler::FrameSink Sink()
    {
        return [this](const AssembledFrame& f) { frames.push_back({Bytes(f.bytes.begin(), f.bytes.end()), f.still}); };
    }
};

struct FaultCase
{
    std::string what;
    std::vector<Bytes> payloads;
    std::vector<Delivered> expected;
    std::map<PayloadFault, std::uint64_t> faults; // every fault not named must stay 0
    bool eofMarksFrames = true;
    FrameLimits limits {8, 16};
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.what; }

class PayloadFaults : public testing::TestWithParam<FaultCase>
{
};

TEST_P(PayloadFaults, DeliversOnlyWholeFrames)
{
    const FaultCase& c = GetParam();
    Collector out;
    PayloadAssembler assembler(c.limits, c.eofMarksFrames, out.Sink());
    for (const Bytes& payload : c.payloads)
        assembler.Push(payload);
    EXPECT_EQ(out.frames, c.expected);
    EXPECT_EQ(assembler.FramesDelivered(), c.expected.size());
    for (std::size_t i = 0; i < static_cast<std::size_t>(PayloadFault::Count); ++i) {
        const auto fault = static_cast<PayloadFault>(i);
        const auto it = c.faults.find(fault);
        EXPECT_EQ(assembler.Faults(fault), it == c.faults.end() ? 0u : it->second) << "fault " << i;
    }
}

const Delivered A {{1, 2, 3, 4}};
const Delivered B {{5, 6}};
const Delivered Still {{9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9}, true};

INSTANTIATE_TEST_SUITE_P(
    Table, PayloadFaults,
    testing::Values(
        FaultCase {"two frames, FID toggling, EOF on each",
                   {P(F0, {1, 2}), P(F0 | EOF_, {3, 4}), P(F1, {5}), P(F1 | EOF_, {6})},
                   {A, B},
                   {}},
        FaultCase {"zero-length packets anywhere",
                   {{}, P(F0, {1, 2}), {}, P(F0 | EOF_, {3, 4}), {}, P(F1 | EOF_, {5, 6}), {}},
                   {A, B},
                   {}},
        FaultCase {"header-only payloads after EOF keep the old FID",
                   {P(F0, {1, 2}), P(F0 | EOF_, {3, 4}), P(F0), P(F0 | EOF_), P(F1 | EOF_, {5, 6})},
                   {A, B},
                   {}},
        FaultCase {"EOF in a header-only payload ends the frame",
                   {P(F0, {1, 2, 3, 4}), P(F0 | EOF_), P(F1, {5, 6}), P(F1 | EOF_)},
                   {A, B},
                   {}},
        FaultCase {"FID toggles before EOF on a device that marks frames with EOF",
                   {P(F0, {1, 2}), P(F0, {3, 4}), P(F1, {5, 6}), P(F1 | EOF_)},
                   {B},
                   {{PayloadFault::MissingEof, 1}}},
        FaultCase {"a header-only payload with a new FID, then the next frame",
                   {P(F0 | EOF_, {1, 2, 3, 4}), P(F1), P(F0 | EOF_, {5, 6})},
                   {A, B},
                   {}},
        FaultCase {"FID toggles without EOF on a device that never sends it",
                   {P(F0, {1, 2}), P(F0, {3, 4}), P(F1, {5, 6}), P(F0, {7})},
                   {A, B},
                   {},
                   false},
        FaultCase {"error bit in the middle of a frame",
                   {P(F0, {1, 2}), P(F0 | ERR, {0}), P(F0 | EOF_, {3, 4}), P(F1 | EOF_, {5, 6})},
                   {B},
                   {{PayloadFault::ErrorBit, 1}}},
        FaultCase {"error bit on the payload that starts the next frame",
                   {P(F0 | EOF_, {1, 2, 3, 4}), P(F1 | ERR, {5}), P(F1 | EOF_, {6}), P(F0 | EOF_, {5, 6})},
                   {A, B},
                   {{PayloadFault::ErrorBit, 1}}},
        FaultCase {"header longer than the packet",
                   {P(F0, {1, 2}), Bytes {12, F0, 3, 4}, P(F0 | EOF_, {3, 4}), P(F1 | EOF_, {5, 6})},
                   {B},
                   {{PayloadFault::MalformedHeader, 1}}},
        FaultCase {"header length below two",
                   {P(F0, {1, 2}), Bytes {1, F0, 3}, P(F0 | EOF_, {3, 4}), P(F1 | EOF_, {5, 6})},
                   {B},
                   {{PayloadFault::MalformedHeader, 1}}},
        FaultCase {"a one-byte packet",
                   {P(F0, {1, 2}), Bytes {2}, P(F0 | EOF_, {3, 4}), P(F1 | EOF_, {5, 6})},
                   {B},
                   {{PayloadFault::MalformedHeader, 1}}},
        FaultCase {"PTS flag in a header too short to hold it",
                   {P(F0 | kPayloadPts, {1, 2, 3, 4}), P(F0 | EOF_), P(F1 | EOF_, {5, 6})},
                   {B},
                   {{PayloadFault::MalformedHeader, 1}}},
        FaultCase {"PTS and SCR inside a twelve-byte header",
                   {Bytes {12, F0 | kPayloadPts | kPayloadScr | EOF_, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4}},
                   {A},
                   {}},
        FaultCase {"a lost payload just before a FID toggle breaks both frames",
                   {P(F0, {1, 2}), Bytes {40, F1}, P(F1, {5, 6}), P(F1 | EOF_), P(F0 | EOF_, {1, 2, 3, 4})},
                   {A},
                   {{PayloadFault::MalformedHeader, 1}, {PayloadFault::MissingEof, 0}}},
        FaultCase {"a lost payload between frames may be the next frame's head",
                   {P(F0 | EOF_, {1, 2, 3, 4}), Bytes {40, F1}, P(F1 | EOF_, {5, 6}), P(F0 | EOF_, {5, 6})},
                   {A, B},
                   {{PayloadFault::MalformedHeader, 1}}},
        FaultCase {"a lost payload between frames followed by the old FID belongs to the old frame",
                   {P(F0 | EOF_, {1, 2, 3, 4}), Bytes {40, F0}, P(F0), P(F1 | EOF_, {5, 6})},
                   {A, B},
                   {{PayloadFault::MalformedHeader, 1}}},
        FaultCase {"frame larger than the committed maximum",
                   {P(F0, {1, 2, 3, 4, 5, 6}), P(F0, {7, 8, 9}), P(F0 | EOF_, {1}), P(F1 | EOF_, {5, 6})},
                   {B},
                   {{PayloadFault::Oversized, 1}}},
        FaultCase {"a frame of exactly the maximum",
                   {P(F0, {1, 2, 3, 4}), P(F0 | EOF_, {5, 6, 7, 8})},
                   {{{1, 2, 3, 4, 5, 6, 7, 8}}},
                   {}},
        FaultCase {"a still larger than a video frame may be, within the still's maximum",
                   {P(F0 | EOF_, {1, 2, 3, 4}), P(F1 | STI, Bytes(6, 9)), P(F1 | STI | EOF_, Bytes(6, 9)),
                    P(F0 | EOF_, {5, 6})},
                   {A, Still, B},
                   {}},
        FaultCase {"a still beyond the still's maximum",
                   {P(F1 | STI, Bytes(10, 9)), P(F1 | STI | EOF_, Bytes(10, 9)), P(F0 | EOF_, {5, 6})},
                   {B},
                   {{PayloadFault::Oversized, 1}}},
        FaultCase {"a still with the error bit is never delivered",
                   {P(F1 | STI, Bytes(6, 9)), P(F1 | STI | ERR, Bytes(6, 9)), P(F1 | STI | EOF_),
                    P(F0 | EOF_, {5, 6})},
                   {B},
                   {{PayloadFault::ErrorBit, 1}}},
        FaultCase {"a still cut short by a FID toggle is never delivered",
                   {P(F1 | STI, Bytes(6, 9)), P(F0 | EOF_, {5, 6})},
                   {B},
                   {{PayloadFault::MissingEof, 1}}},
        FaultCase {"data with the FID of an ended frame",
                   {P(F0 | EOF_, {1, 2, 3, 4}), P(F0, {7, 7}), P(F0 | EOF_, {7}), P(F1 | EOF_, {5, 6})},
                   {A, B},
                   {{PayloadFault::OutOfSync, 2}}},
        FaultCase {"the stream's first payload starts a frame whatever its FID",
                   {P(F1 | EOF_, {1, 2, 3, 4})},
                   {A},
                   {}},
        FaultCase {"a frame that never ends is not delivered",
                   {P(F0, {1, 2}), P(F0, {3, 4})},
                   {},
                   {}},
        FaultCase {"no limits committed: nothing fits",
                   {P(F0 | EOF_, {1})},
                   {},
                   {{PayloadFault::Oversized, 1}},
                   true,
                   {0, 0}}),
    [](const testing::TestParamInfo<FaultCase>& info) { return "case" + std::to_string(info.index); });

TEST(PayloadAssembler, ResetForgetsTheFrameInProgressAndTheLastFid)
{
    Collector out;
    PayloadAssembler assembler({8, 0}, true, out.Sink());
    assembler.Push(P(F0, {1, 2}));
    assembler.Reset();
    // After a restart the same FID may begin a new frame; the half frame before is gone.
    assembler.Push(P(F0 | EOF_, {5, 6}));
    ASSERT_EQ(out.frames.size(), 1u);
    EXPECT_EQ(out.frames[0], B);
    EXPECT_EQ(assembler.Faults(PayloadFault::OutOfSync), 0u);
}

TEST(PayloadAssembler, NewLimitsKeepTheFrameInProgress)
{
    Collector out;
    PayloadAssembler assembler({8, 0}, true, out.Sink());
    assembler.Push(P(F0, {1, 2}));
    assembler.SetLimits({8, 16});
    assembler.Push(P(F0 | EOF_, {3, 4}));
    assembler.Push(P(F1 | STI | EOF_, Bytes(12, 9)));
    EXPECT_EQ(out.frames, (std::vector<Delivered> {A, Still}));
}

TEST(PayloadAssembler, StillLimitDefaultsToTheVideoLimit)
{
    Collector out;
    PayloadAssembler assembler({4, 0}, true, out.Sink());
    assembler.Push(P(F0 | STI | EOF_, {1, 2, 3, 4}));
    assembler.Push(P(F1 | STI | EOF_, {1, 2, 3, 4, 5}));
    ASSERT_EQ(out.frames.size(), 1u);
    EXPECT_TRUE(out.frames[0].still);
    EXPECT_EQ(assembler.Faults(PayloadFault::Oversized), 1u);
}

TEST(PayloadAssembler, EveryCutOfAStreamIntoPacketsGivesTheSameFrames)
{
    // Bulk transfers end where the device's payloads end, but isochronous packets carry one payload
    // each: whatever the payload sizes, the frames must come out the same.
    const Bytes frame {1, 2, 3, 4, 5, 6, 7};
    for (std::size_t chunk = 1; chunk <= frame.size(); ++chunk) {
        Collector out;
        PayloadAssembler assembler({64, 0}, true, out.Sink());
        for (int n = 0; n < 3; ++n) {
            const std::uint8_t fid = n % 2 ? F1 : F0;
            for (std::size_t at = 0; at < frame.size(); at += chunk) {
                const bool last = at + chunk >= frame.size();
                assembler.Push(P(fid | (last ? EOF_ : 0),
                                 Bytes(frame.begin() + at, frame.begin() + std::min(frame.size(), at + chunk))));
            }
        }
        ASSERT_EQ(out.frames.size(), 3u) << chunk;
        for (const auto& f : out.frames)
            EXPECT_EQ(f.bytes, frame) << chunk;
    }
}

} // namespace
} // namespace vistrel::uvc
