// Whether another program has the scanner's video node open, found in the real /proc: a child process
// holds a real character device that stands in for the node.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "SysfsTree.h"
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
    sysfs.AddDevice("1-2", "8888", "0001", 1, 5);
    EXPECT_FALSE(VideoNodeOpenElsewhere("1-2", sysfs.Root())) << "no video node: the driver does not have it";
    sysfs.AddVideoNode("1-2", "video0", major(standIn.st_rdev), minor(standIn.st_rdev));
    if (VideoNodeOpenElsewhere("1-2", sysfs.Root()))
        GTEST_SKIP() << "another program on this machine holds " << kStandIn;

    const int own = ::open(kStandIn, O_RDONLY | O_CLOEXEC);
    ASSERT_GE(own, 0);
    EXPECT_FALSE(VideoNodeOpenElsewhere("1-2", sysfs.Root())) << "this process's own handle does not count";
    {
        Holder other(kStandIn);
        ASSERT_TRUE(other.holding);
        EXPECT_TRUE(VideoNodeOpenElsewhere("1-2", sysfs.Root()));
        EXPECT_FALSE(VideoNodeOpenElsewhere("1-3", sysfs.Root())) << "a device that is not there";
        EXPECT_FALSE(VideoNodeOpenElsewhere("../1-2", sysfs.Root())) << "a bus path that leaves the folder";
    }
    EXPECT_FALSE(VideoNodeOpenElsewhere("1-2", sysfs.Root())) << "the other program has let go";
    ::close(own);
}

} // namespace
} // namespace vistrel::usb
