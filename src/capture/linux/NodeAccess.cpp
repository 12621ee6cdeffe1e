#include "capture/linux/NodeAccess.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

namespace vistrel::lnx {

namespace {

constexpr std::size_t kGroupBufferSize = 16 * 1024;

// The group that owns the node, when it is not root's own.
std::string OwningGroup(const std::string& devNode)
{
    struct stat info {};
    if (::stat(devNode.c_str(), &info) != 0 || info.st_gid == 0)
        return {};
    group entry {};
    group* found = nullptr;
    std::vector<char> buffer(kGroupBufferSize);
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return found->gr_name;
}

} // namespace

bool IsAccessDenied(int error)
{
    return error == EACCES || error == EPERM;
}

Reason OpenFailureReason(const std::string& devNode, int error)
{
    if (!IsAccessDenied(error))
        return Reason(ReasonCode::NodeCannotOpen, devNode, error);
    return Reason(ReasonCode::NodeAccessDenied, devNode, error).WithGroup(OwningGroup(devNode));
}

} // namespace vistrel::lnx
