#pragma once
// A device node the user may not open: how to tell it apart, and what to tell the user about it.
#include <string>

#include "capture/contract/Reason.h"

namespace vistrel::lnx {

// True for the errors that a change of permissions mends.
bool IsAccessDenied(int error);

// Why the node cannot be opened: for a permission, with the group that grants access, when there is one.
Reason OpenFailureReason(const std::string& devNode, int error);

} // namespace vistrel::lnx
