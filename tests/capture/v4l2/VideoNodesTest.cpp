#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "capture/v4l2/DeviceRegistry.h"
#include "capture/linux/NodeAccess.h"
#include "capture/linux/VideoNodes.h"
#include "support/SysfsTree.h"

namespace vistrel::v4l2 {
namespace {

namespace fs = std::filesystem;

constexpr const char* kScannerPath =
    R"(\\?\usb#vid_8888&pid_0001&mi_00#1-2#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\global)";

// The video nodes found in a fake sysfs.
class SysfsFixture : public testing::Test
{
protected:
    test::SysfsTree sysfs;
    const lnx::SysfsLayout layout {sysfs.SysRoot(), sysfs.DevRoot()};
};

TEST_F(SysfsFixture, ScannerNodeGetsItsUsbDevicePath)
{
    sysfs.AddVideoNode(sysfs.AddDevice("1-2", "8888", "0001"), 0, "video0", "Film Scanner");
    const auto node = lnx::DescribeVideoNode(layout, "video0");
    ASSERT_TRUE(node);
    EXPECT_EQ(node->devicePath, kScannerPath);
    EXPECT_NE(node->devicePath.find("vid_8888&pid_0001"), std::string::npos);
    EXPECT_EQ(node->devNode, (layout.devRoot / "video0").string());
    EXPECT_EQ(node->friendlyName, "Film Scanner");
    ASSERT_TRUE(node->usb);
    EXPECT_EQ(node->usb->busPath, "1-2");
    EXPECT_EQ(node->usb->interfaceNumber, 0);
    EXPECT_TRUE(fs::exists(node->usb->deviceDir / "idVendor"));
}

TEST_F(SysfsFixture, PathIsLowerCaseHexOfTheFunctionsInterfaceBehindHubs)
{
    sysfs.AddVideoNode(sysfs.AddDevice("3-1.4", "046D", "085B"), 2, "video5", "Webcam C925e");
    const auto node = lnx::DescribeVideoNode(layout, "video5");
    ASSERT_TRUE(node);
    EXPECT_EQ(node->devicePath,
              R"(\\?\usb#vid_046d&pid_085b&mi_02#3-1.4#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\global)");
}

TEST_F(SysfsFixture, ThePathFollowsThePortNotTheNodeNumber)
{
    const fs::path scanner = sysfs.AddDevice("1-2", "8888", "0001");
    sysfs.AddVideoNode(scanner, 0, "video0", "Film Scanner");
    const std::string before = lnx::DescribeVideoNode(layout, "video0")->devicePath;
    // Unplugged and plugged into the same port while video0 was still held open: a new node number.
    fs::remove(layout.sysRoot / "class/video4linux/video0");
    fs::remove_all(scanner / "1-2:1.0/video4linux/video0");
    sysfs.LinkNode(scanner / "1-2:1.0", "video4", "Film Scanner");
    EXPECT_EQ(lnx::DescribeVideoNode(layout, "video4")->devicePath, before);
}

TEST_F(SysfsFixture, ListsCaptureNodesInNumberOrderOncePerDevice)
{
    const fs::path scanner = sysfs.AddDevice("1-2", "8888", "0001");
    sysfs.AddVideoNode(scanner, 0, "video0", "Film Scanner");
    sysfs.LinkNode(scanner / "1-2:1.0", "video1", "Film Scanner"); // its metadata node
    sysfs.AddVideoNode(sysfs.AddDevice("1-3", "046d", "0825"), 0, "video2", "Webcam");
    sysfs.LinkNode(scanner / "1-2:1.0", "video3", "Film Scanner"); // a second capture node of the same function
    const fs::path platform = layout.sysRoot / "devices/platform/vivid.0";
    fs::create_directories(platform);
    sysfs.LinkNode(platform, "video10", "vivid");

    std::vector<std::string> asked;
    const auto nodes = lnx::ListCaptureNodes(layout, [&](const std::string& devNode) {
        asked.push_back(fs::path(devNode).filename().string());
        return lnx::NodeProbe {!devNode.ends_with("video1")};
    });
    std::vector<std::string> names;
    for (const auto& node : nodes)
        names.push_back(node.name);
    EXPECT_EQ(names, (std::vector<std::string> {"video0", "video2", "video10"}));
    EXPECT_EQ(asked, (std::vector<std::string> {"video0", "video1", "video2", "video3", "video10"}));
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[2].devicePath, R"(\\?\root#v4l2#vivid.0#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\global)");
    EXPECT_FALSE(nodes[2].usb);
}

TEST_F(SysfsFixture, ANodeTheUserMayNotOpenIsListedWithTheReason)
{
    const fs::path scanner = sysfs.AddDevice("1-2", "8888", "0001");
    sysfs.AddVideoNode(scanner, 0, "video0", "Film Scanner");
    sysfs.LinkNode(scanner / "1-2:1.0", "video1", "Film Scanner"); // its metadata node
    sysfs.AddVideoNode(sysfs.AddDevice("1-3", "046d", "0825"), 0, "video2", "Webcam");
    sysfs.Write(layout.sysRoot / "class/video4linux/video0/index", "0\n");
    sysfs.Write(layout.sysRoot / "class/video4linux/video1/index", "1\n");
    sysfs.Write(layout.sysRoot / "class/video4linux/video2/index", "0\n");

    struct Case
    {
        int error;
        std::vector<std::string> listed;
    };
    const Case cases[] = {
        {EACCES, {"video0", "video2"}}, // the first node of each device; never the metadata node
        {EPERM, {"video0", "video2"}},
        {ENOENT, {}}, // gone already: nothing to tell the user
        {EIO, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> names;
        for (const auto& node : lnx::ListCaptureNodes(layout, [&](const std::string&) { return lnx::NodeProbe {false, c.error}; })) {
            names.push_back(node.name);
            EXPECT_EQ(node.openError, c.error) << node.name;
        }
        EXPECT_EQ(names, c.listed) << c.error;
    }
    const auto node = lnx::DescribeCaptureNode(layout, "video0", [](const std::string&) { return lnx::NodeProbe {true}; });
    ASSERT_TRUE(node);
    EXPECT_EQ(node->openError, 0);
    EXPECT_EQ(node->devicePath, kScannerPath);
}

TEST(NodeAccess, TheReasonNamesTheNodeTheErrorAndTheGroupThatMendsIt)
{
    const Reason denied = lnx::OpenFailureReason("/dev/null", EACCES);
    EXPECT_EQ(denied.code, ReasonCode::NodeAccessDenied);
    EXPECT_EQ(denied.path, "/dev/null");
    EXPECT_EQ(denied.error, EACCES);
    EXPECT_EQ(denied.group, "") << "root's own node: no group to join";

    // A node of a group the user can join: the group is named.
    const fs::path groupOwned = "/dev/tty0";
    struct stat info {};
    if (::stat(groupOwned.c_str(), &info) == 0 && info.st_gid != 0)
        EXPECT_FALSE(lnx::OpenFailureReason(groupOwned, EPERM).group.empty());
    const Reason other = lnx::OpenFailureReason("/dev/video7", EIO);
    EXPECT_EQ(other.code, ReasonCode::NodeCannotOpen) << "no advice about permissions for another failure";
    EXPECT_EQ(other.error, EIO);
    EXPECT_NE(ReasonLogText(other).find("Input/output error"), std::string::npos) << "the log keeps English";
}

TEST_F(SysfsFixture, BrokenIdentitiesFallBackWithoutInventingOne)
{
    sysfs.AddVideoNode(sysfs.AddDevice("1-5", "88x8", "0001"), 0, "video0", "Bad vendor");
    sysfs.AddVideoNode(sysfs.AddDevice("1-6", "18888", "0001"), 0, "video1", "Too wide");
    const fs::path noInterface = sysfs.AddDevice("1-7", "8888", "0001");
    fs::create_directories(noInterface / "1-7:1.0");
    sysfs.LinkNode(noInterface / "1-7:1.0", "video2", "");
    for (const char* name : {"video0", "video1", "video2"}) {
        const auto node = lnx::DescribeVideoNode(layout, name);
        ASSERT_TRUE(node) << name;
        EXPECT_FALSE(node->usb) << name;
        EXPECT_EQ(node->devicePath.find("vid_"), std::string::npos) << name;
    }
    EXPECT_EQ(lnx::DescribeVideoNode(layout, "video2")->friendlyName, "video2");
    EXPECT_FALSE(lnx::DescribeVideoNode(layout, "video9"));
    EXPECT_TRUE(lnx::ListCaptureNodes({sysfs.Root() / "nothing", sysfs.Root() / "nothing"}, [](const std::string&) { return lnx::NodeProbe {true}; })
                    .empty());
}

TEST(DeviceRegistry, RemovalIsReportedUnderTheArrivalsPath)
{
    DeviceRegistry registry;
    const lnx::VideoNode scanner {"video0", "/dev/video0", kScannerPath, "Film Scanner", std::nullopt};
    const auto arrival = registry.Added(scanner);
    ASSERT_TRUE(arrival);
    EXPECT_EQ(arrival->event, DBT_DEVICEARRIVAL);
    EXPECT_EQ(arrival->interfaceClass, KSCATEGORY_CAPTURE);
    EXPECT_EQ(arrival->name, kScannerPath);
    EXPECT_FALSE(registry.Added(scanner)) << "the same node twice is one arrival";

    const auto removal = registry.Removed("video0");
    ASSERT_TRUE(removal);
    EXPECT_EQ(removal->event, DBT_DEVICEREMOVECOMPLETE);
    EXPECT_EQ(removal->interfaceClass, KSCATEGORY_CAPTURE);
    EXPECT_EQ(removal->name, kScannerPath);
    EXPECT_FALSE(registry.Removed("video0"));
    EXPECT_FALSE(registry.Removed("video1")) << "a node never seen (a metadata node) is not reported";

    registry.Remember(scanner);
    EXPECT_TRUE(registry.Added(scanner)) << "listed by an enumeration that may have come too early to use it";
    registry.Remember(scanner);
    EXPECT_FALSE(registry.Added(scanner)) << "udev has announced it already";
    lnx::VideoNode other = scanner;
    other.devicePath = "other";
    EXPECT_EQ(registry.Added(other)->name, "other") << "the number now belongs to another device";
    EXPECT_EQ(registry.Removed("video0")->name, "other");
}

TEST(VideoNodes, GuidTextIsTheRegistryForm)
{
    EXPECT_EQ(lnx::GuidText(KSCATEGORY_CAPTURE), "{65e8773d-8f56-11d0-a3b9-00a0c9223196}");
    EXPECT_EQ(lnx::PlatformDevicePath("x"), R"(\\?\root#v4l2#x#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\global)");
}

} // namespace
} // namespace vistrel::v4l2
