// Whether another program has the scanner's video node open, found in the real /proc: a child process
// holds a real character device that stands in for the node.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/SysfsTree.h"
#include "capture/usb/VideoNodeUsers.h"

namespace vistrel::usb {
namespace {

// Few programs hold /dev/full open, so it stands in for the scanner's video node.
constexpr char kStandIn[] = "/dev/full";

// A child process that holds a file open until it is let go.
class Holder
{
public:
    explicit Holder(const char* path)
    {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            ::close(release[1]); // so that the parent's close is the end of the pipe
            const int fd = ::open(path, O_RDONLY);
            char byte = fd >= 0 ? 'y' : 'n';
            (void)!::write(ready[1], &byte, 1);
            (void)!::read(release[0], &byte, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        releaseEnd = release[1];
        char byte = 0;
        holding = ::read(ready[0], &byte, 1) == 1 && byte == 'y';
        ::close(ready[0]);
    }
    ~Holder()
    {
        if (releaseEnd >= 0)
            ::close(releaseEnd);
        if (pid > 0)
            ::waitpid(pid, nullptr, 0);
    }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

    bool holding = false;

private:
    pid_t pid = -1;
    int releaseEnd = -1;
};

TEST(VideoNodeUsers, AnotherProcessHoldingTheNodeIsFoundAndThisOneIsNot)
{
    struct stat standIn {};
    ASSERT_EQ(::stat(kStandIn, &standIn), 0);
    test::SysfsTree sysfs;
    const auto scanner = sysfs.AddDevice("1-2", "8888", "0001", 1, 5);
    EXPECT_FALSE(VideoNodeOpenElsewhere("1-2", sysfs.SysRoot())) << "no video node: the driver does not have it";
    sysfs.AddVideoNode(scanner, 0, "video0", "Film Scanner");
    sysfs.SetNodeNumber("video0", major(standIn.st_rdev), minor(standIn.st_rdev));
    if (VideoNodeOpenElsewhere("1-2", sysfs.SysRoot())) {
        // A build machine has no reason to hold it: there the test must run.
        if (const char* ci = std::getenv("CI"); ci && std::string(ci) == "true")
            FAIL() << "another program on this machine holds " << kStandIn;
        GTEST_SKIP() << "another program on this machine holds " << kStandIn;
    }

    const int own = ::open(kStandIn, O_RDONLY | O_CLOEXEC);
    ASSERT_GE(own, 0);
    EXPECT_FALSE(VideoNodeOpenElsewhere("1-2", sysfs.SysRoot())) << "this process's own handle does not count";
    {
        Holder other(kStandIn);
        ASSERT_TRUE(other.holding);
        EXPECT_TRUE(VideoNodeOpenElsewhere("1-2", sysfs.SysRoot()));
        EXPECT_FALSE(VideoNodeOpenElsewhere("1-3", sysfs.SysRoot())) << "a device that is not there";
        EXPECT_FALSE(VideoNodeOpenElsewhere("../1-2", sysfs.SysRoot())) << "a bus path that leaves the folder";
    }
    EXPECT_FALSE(VideoNodeOpenElsewhere("1-2", sysfs.SysRoot())) << "the other program has let go";
    ::close(own);
}

// A /proc of made-up processes, each with its stat line and, for a holder, a descriptor of the node.
class ProcTree
{
public:
    ProcTree() { std::filesystem::create_directories(Root()); }
    ~ProcTree() { std::filesystem::remove_all(root); }
    ProcTree(const ProcTree&) = delete;
    ProcTree& operator=(const ProcTree&) = delete;

    void AddProcess(int pid, const std::string& name, int parent, const char* holds = nullptr)
    {
        const auto folder = Root() / std::to_string(pid);
        std::filesystem::create_directories(folder / "fd");
        std::ofstream(folder / "stat") << pid << " (" << name << ") S " << parent << " " << pid << " 0 0\n";
        if (holds)
            std::filesystem::create_symlink(holds, folder / "fd" / "3");
    }
    std::filesystem::path Root() const { return root / "proc"; }

private:
    const std::filesystem::path root = std::filesystem::temp_directory_path() /
                                       ("vistrel-proc-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

// udev opens a node it has just made to read its capabilities, exactly when the scanner arrives; only a
// program that is not udev's keeps the scanner with the driver.
TEST(VideoNodeUsers, UdevProbingANewNodeIsNotAnotherProgram)
{
    struct stat standIn {};
    ASSERT_EQ(::stat(kStandIn, &standIn), 0);
    test::SysfsTree sysfs;
    const auto scanner = sysfs.AddDevice("1-2", "8888", "0001", 1, 5);
    sysfs.AddVideoNode(scanner, 0, "video0", "Film Scanner");
    sysfs.SetNodeNumber("video0", major(standIn.st_rdev), minor(standIn.st_rdev));

    struct Holder
    {
        const char* name;
        int parent;
        bool counts;
    };
    constexpr int kInit = 1, kUdevd = 100, kShell = 300;
    const Holder cases[] = {
        {"v4l_id", kUdevd, false},         // the probe udev runs on every new video node
        {"systemd-udevd", kUdevd, false},  // a worker of systemd before it renamed them
        {"(udev-worker)", kUdevd, false},  // and after
        {"udevd", kInit, false},           // eudev
        {"v4l_id", kShell, true},          // the same tool started by someone is a program like any other
        {"obs", kInit, true},
        {"my (own) viewer", kShell, true}, // a name with parentheses of its own
    };
    for (const Holder& holder : cases) {
        SCOPED_TRACE(std::string(holder.name) + " under " + std::to_string(holder.parent));
        ProcTree proc;
        proc.AddProcess(kInit, "systemd", 0);
        proc.AddProcess(kUdevd, "systemd-udevd", kInit);
        proc.AddProcess(kShell, "bash", kInit);
        proc.AddProcess(4242, holder.name, holder.parent, kStandIn);
        EXPECT_EQ(VideoNodeOpenElsewhere("1-2", sysfs.SysRoot(), proc.Root()), holder.counts);
    }
}

} // namespace
} // namespace vistrel::usb
