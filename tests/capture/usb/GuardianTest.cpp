// The guardian that gives a device's interfaces back to the kernel's drivers: it looks at the device
// only once its owner lets go, whether by giving it back or by dying.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "capture/usb/KernelDriverGuardian.h"

namespace vistrel::usb {
namespace {

using namespace std::chrono_literals;

// A stand-in for the device node: the guardian's opening it is what the test watches for. It answers no
// usbfs request, which the guardian takes as a device that is gone.
class WatchedNode : public ::testing::Test
{
protected:
    WatchedNode()
    {
        char pattern[] = "/tmp/vistrel-guardian-XXXXXX";
        folder = ::mkdtemp(pattern);
        node = (folder / "001").string();
        std::ofstream(node) << "";
        watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        ::inotify_add_watch(watch, node.c_str(), IN_OPEN);
    }
    ~WatchedNode() override
    {
        ::close(watch);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    bool OpenedWithin(std::chrono::milliseconds timeout)
    {
        pollfd ready {watch, POLLIN, 0};
        return ::poll(&ready, 1, static_cast<int>(timeout.count())) == 1;
    }

    std::filesystem::path folder;
    std::string node;
    int watch = -1;
};

TEST_F(WatchedNode, TheGuardianLooksOnlyOnceTheOwnerGivesTheDeviceBack)
{
    {
        KernelDriverGuardian guardian(node, {1, 0});
        ASSERT_TRUE(guardian.Watching());
        EXPECT_FALSE(OpenedWithin(300ms)) << "the guardian must leave the device alone while it is held";
    }
    EXPECT_TRUE(OpenedWithin(30s));
}

TEST_F(WatchedNode, TheGuardianLooksWhenTheOwnerDies)
{
    const pid_t owner = ::fork();
    ASSERT_GE(owner, 0);
    if (owner == 0) {
        KernelDriverGuardian guardian(node, {1, 0});
        ::raise(SIGKILL); // no destructor runs: the process just dies
    }
    int status = 0;
    ASSERT_EQ(::waitpid(owner, &status, 0), owner);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(OpenedWithin(30s));
}

TEST(Guardian, ANodePathTooLongForItIsNotWatched)
{
    const KernelDriverGuardian guardian(std::string(300, 'x'), {0});
    EXPECT_FALSE(guardian.Watching());
}

} // namespace
} // namespace vistrel::usb
