#pragma once
// A device node the user may not open: how to tell it apart, and what to tell the user about it.
#include <string>

namespace vistrel::v4l2 {

// True for the errors that a change of permissions mends.
bool IsAccessDenied(int error);

// Why the node cannot be opened and what mends it, in words for the user.
std::string DescribeOpenFailure(const std::string& devNode, int error);

} // namespace vistrel::v4l2
