// The device queue alone: order, coalescing, waiting and teardown, with actions that record what ran.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "capture/engine/DeviceQueue.h"

namespace vistrel::test {
namespace {

using namespace std::chrono_literals;

// Holds the queue's thread inside an action until opened, so that the actions queued meanwhile wait.
class Gate {
public:
    void Hold()
    {
        std::unique_lock lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait(lock, [this] { return open; });
    }
    void WaitUntilHeld()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return entered; });
    }
    void Open()
    {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool open = false;
};

struct Ran {
    std::mutex mutex;
    std::vector<std::string> lines;
    DeviceQueue::Action Line(std::string line)
    {
        return [this, line = std::move(line)] {
            std::lock_guard lock(mutex);
            lines.push_back(line);
        };
    }
};

constexpr DeviceQueue::PropertyKey kSaturation {0, 3};
constexpr DeviceQueue::PropertyKey kRed {1, 0};

struct QueueCase {
    const char* name;
    // Queued while the queue's thread is held: "A=n" a change of saturation, "R=n" of red, "T" a trigger.
    std::vector<std::string> queued;
    std::vector<std::string> ran;
};

void PrintTo(const QueueCase& c, std::ostream* out)
{
    *out << c.name;
}

class QueueOrder : public ::testing::TestWithParam<QueueCase> {};

TEST_P(QueueOrder, CoalescesChangesWithoutPassingOtherActions)
{
    Ran ran;
    Gate gate;
    DeviceQueue queue;
    queue.Post([&] { gate.Hold(); });
    gate.WaitUntilHeld();
    for (const std::string& q : GetParam().queued) {
        if (q == "T")
            queue.Post(ran.Line(q));
        else
            queue.ChangeProperty(q[0] == 'A' ? kSaturation : kRed, ran.Line(q));
    }
    gate.Open();
    queue.WaitUntilIdle();
    EXPECT_EQ(ran.lines, GetParam().ran);
    EXPECT_EQ(queue.Pending(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Queue, QueueOrder,
    ::testing::Values(
        QueueCase {"ADragSendsItsLatestValue", {"A=1", "A=2", "A=3", "A=4"}, {"A=4"}},
        QueueCase {"EachPropertyKeepsItsOwnLatest", {"A=1", "R=1", "A=2", "R=2", "A=3"}, {"A=3", "R=2"}},
        QueueCase {"ATriggerSeesTheChangesBeforeIt", {"A=1", "R=5", "A=2", "T"}, {"A=2", "R=5", "T"}},
        QueueCase {"AChangeAfterATriggerStaysBehindIt", {"A=1", "T", "A=2", "A=3"}, {"A=1", "T", "A=3"}},
        QueueCase {"TriggersAreNeverMerged", {"T", "T"}, {"T", "T"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeviceQueue, RunsOnAThreadOfItsOwnAndWaitsForWhatIsUnderWay)
{
    DeviceQueue queue;
    std::thread::id ranOn;
    bool finished = false;
    queue.Post([&] {
        std::this_thread::sleep_for(50ms);
        ranOn = std::this_thread::get_id();
        finished = true;
    });
    queue.WaitUntilIdle();
    EXPECT_TRUE(finished);
    EXPECT_NE(ranOn, std::this_thread::get_id());
}

TEST(DeviceQueue, GoingAwayDropsWhatWaitsAndFinishesWhatRuns)
{
    Ran ran;
    Gate gate;
    auto queue = std::make_unique<DeviceQueue>();
    queue->Post([&] {
        gate.Hold();
        ran.Line("under way")();
    });
    gate.WaitUntilHeld();
    queue->ChangeProperty(kSaturation, ran.Line("A=1"));
    queue->Post(ran.Line("T"));
    EXPECT_EQ(queue->Pending(), 3u);

    auto gone = std::async(std::launch::async, [&] { queue.reset(); });
    EXPECT_EQ(gone.wait_for(100ms), std::future_status::timeout) << "the action under way must finish first";
    gate.Open();
    ASSERT_EQ(gone.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(ran.lines, std::vector<std::string> {"under way"});
}

TEST(DeviceQueue, DiscardDropsOnlyWhatHasNotStarted)
{
    Ran ran;
    Gate gate;
    DeviceQueue queue;
    queue.Post([&] {
        gate.Hold();
        ran.Line("under way")();
    });
    gate.WaitUntilHeld();
    queue.ChangeProperty(kRed, ran.Line("R=1"));
    EXPECT_EQ(queue.Discard(), 1u);
    gate.Open();
    queue.WaitUntilIdle();
    queue.Post(ran.Line("after"));
    queue.WaitUntilIdle();
    EXPECT_EQ(ran.lines, (std::vector<std::string> {"under way", "after"}));
}

TEST(DeviceQueue, AnActionMayWaitForItsOwnQueueWithoutHanging)
{
    DeviceQueue queue;
    bool done = false;
    queue.Post([&] {
        queue.WaitUntilIdle();
        done = true;
    });
    queue.WaitUntilIdle();
    EXPECT_TRUE(done);
}

} // namespace
} // namespace vistrel::test
