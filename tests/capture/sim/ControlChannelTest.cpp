// Commands through the simulator's FIFO reach the devices; bad lines change nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "SimTestSupport.h"
#include "capture/sim/SimControlChannel.h"

namespace vistrel::sim::test {
namespace {

class ControlChannelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vistrel-sim-control-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        folder = pattern;
        fifo = (folder / "control").string();
        source = SimulatedDeviceSource::FromList("camera,scanner");
        camera = source->DevicePaths()[0];
        scanner = source->DevicePaths()[1];
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // Writes as another program would: open, write, close.
    void Send(const std::string& text)
    {
        const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0) << "nobody reads the FIFO";
        ASSERT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
        close(fd);
    }

    std::filesystem::path folder;
    std::string fifo;
    std::shared_ptr<SimulatedDeviceSource> source;
    std::string camera, scanner;
};

TEST_F(ControlChannelTest, CreatesTheFifoAndUnplugsAndReplugsTheScanner)
{
    std::vector<DeviceChange> changes;
    std::mutex mutex;
    source->SetChangeSink([&](const DeviceChange& c) {
        std::lock_guard lock(mutex);
        changes.push_back(c);
    });
    SimControlChannel channel(source, fifo);
    ASSERT_TRUE(channel.IsListening());
    struct stat info {};
    ASSERT_EQ(stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));

    Send("unplug\n");
    ASSERT_TRUE(Eventually([&] { return !source->IsPlugged(scanner); }));
    EXPECT_TRUE(source->IsPlugged(camera)) << "the default is the first scanner";

    // Writers come and go; the channel keeps reading.
    Send("plug\n");
    ASSERT_TRUE(Eventually([&] { return source->IsPlugged(scanner); }));
    Send("unplug 0\n");
    ASSERT_TRUE(Eventually([&] { return !source->IsPlugged(camera); }));

    std::lock_guard lock(mutex);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].event, DBT_DEVICEREMOVECOMPLETE);
    EXPECT_EQ(changes[0].name, scanner);
    EXPECT_EQ(changes[1].event, DBT_DEVICEARRIVAL);
    EXPECT_EQ(changes[2].name, camera);
}

TEST_F(ControlChannelTest, FaultSwitchesTurnOnAndOff)
{
    SimControlChannel channel(source, fifo);
    // A command split across writes still counts once complete.
    Send("busy on");
    Send("\nnostill on\nignore-trigger on 1\n");
    ASSERT_TRUE(Eventually([&] { return source->Faults(scanner).ignoreTrigger; }));
    EXPECT_TRUE(source->Faults(scanner).busy);
    EXPECT_TRUE(source->Faults(scanner).noStillPin);

    Send("busy off\nfailbind on 0\nnotready on\n");
    ASSERT_TRUE(Eventually([&] { return source->Faults(scanner).unitNotReady; }));
    EXPECT_FALSE(source->Faults(scanner).busy);
    EXPECT_TRUE(source->Faults(camera).failBind);
    EXPECT_FALSE(source->Faults(scanner).failBind);
}

TEST_F(ControlChannelTest, LinesThatAreNotUnderstoodChangeNothing)
{
    SimControlChannel channel(source, "");
    const char* bad[] = {
        "explode", "busy", "busy maybe", "busy on 7", "unplug 2", "unplug -1", "unplug x", "plug 0 1", "busy on 1 2",
        "UNPLUG",
    };
    for (const char* line : bad) {
        EXPECT_FALSE(channel.Execute(line)) << line;
    }
    EXPECT_TRUE(channel.Execute("   "));
    EXPECT_TRUE(source->IsPlugged(scanner));
    EXPECT_TRUE(source->IsPlugged(camera));
    EXPECT_FALSE(source->Faults(scanner).busy);
    EXPECT_FALSE(source->Faults(camera).busy);
}

TEST(ControlLineSplitter, CutsLinesAndDropsOverlongOnesWhole)
{
    const std::string limit(ControlLineSplitter::kMaxLine, 'a');
    const std::string overlong(ControlLineSplitter::kMaxLine + 1, 'x');
    struct Case {
        std::vector<std::string> chunks;
        std::vector<std::string> lines;
        int dropped;
    };
    const Case cases[] = {
        {{"busy on", "\n"}, {"busy on"}, 0},
        {{"a\n\nb\nunfinished"}, {"a", "", "b"}, 0},
        {{limit + "\n"}, {limit}, 0},
        {{overlong + "\n"}, {}, 1},
        // The tail of an overlong line never runs, however the bytes arrive.
        {{std::string(512, 'x') + "unplug\nplug\n"}, {"plug"}, 1},
        {{std::string(200, 'x'), std::string(200, 'x'), "unplug", "\nplug\n"}, {"plug"}, 1},
        {{overlong, "\n" + overlong + "\nbusy on\n"}, {"busy on"}, 2},
    };
    for (const Case& c : cases) {
        ControlLineSplitter splitter;
        std::vector<std::string> lines;
        int dropped = 0;
        for (const std::string& chunk : c.chunks)
            splitter.Feed(chunk, [&](std::string_view line) { lines.emplace_back(line); }, [&] { ++dropped; });
        EXPECT_EQ(lines, c.lines) << c.chunks.front().substr(0, 20);
        EXPECT_EQ(dropped, c.dropped) << c.chunks.front().substr(0, 20);
    }
}

TEST_F(ControlChannelTest, TheTailOfAnOverlongLineIsNotACommand)
{
    SimControlChannel channel(source, fifo);
    Send(std::string(512, 'x') + "unplug\n");
    Send("busy on\n");
    ASSERT_TRUE(Eventually([&] { return source->Faults(scanner).busy; }));
    EXPECT_TRUE(source->IsPlugged(scanner));
}

TEST_F(ControlChannelTest, WithoutAScannerThereIsNoDefaultDevice)
{
    auto cameras = SimulatedDeviceSource::FromList("camera");
    SimControlChannel channel(cameras, "");
    EXPECT_FALSE(channel.Execute("unplug"));
    EXPECT_TRUE(channel.Execute("unplug 0"));
    EXPECT_FALSE(cameras->IsPlugged(cameras->DevicePaths()[0]));
}

TEST_F(ControlChannelTest, TheReaderEndsWithTheChannel)
{
    const std::size_t before = ThreadCount();
    {
        SimControlChannel channel(source, fifo);
        EXPECT_EQ(ThreadCount(), before + 1);
    }
    EXPECT_EQ(ThreadCountOnceExited(before), before);
}

TEST_F(ControlChannelTest, APathThatIsNotAFifoIsRefused)
{
    std::ofstream(fifo) << "unplug\n";
    const std::size_t before = ThreadCount();
    SimControlChannel channel(source, fifo);
    EXPECT_FALSE(channel.IsListening());
    EXPECT_EQ(ThreadCountOnceExited(before), before);
    EXPECT_TRUE(source->IsPlugged(scanner));
    SimControlChannel nowhere(source, (folder / "missing" / "control").string());
    EXPECT_FALSE(nowhere.IsListening());
}

TEST_F(ControlChannelTest, AnExistingFifoIsUsedAsItIs)
{
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    SimControlChannel channel(source, fifo);
    ASSERT_TRUE(channel.IsListening());
    Send("busy on\n");
    EXPECT_TRUE(Eventually([&] { return source->Faults(scanner).busy; }));
}

} // namespace
} // namespace vistrel::sim::test
