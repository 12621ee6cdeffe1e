#pragma once
// The one place where the reasons the layers below report become sentences, through the string tables
// in the language of the moment.
#include "capture/contract/Reason.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace vistrel {

// A text that can be put into words again when the language changes.
using Wording = std::function<QString()>;

// The string with %1, %2, ... replaced in one pass (a file name holding "%2" stays as it is).
QString LocalizedText(std::uint32_t stringId, const QStringList& arguments = {});
// An errno in a few words; an unusual one by its number.
QString ErrorText(int error);
// The reason as a sentence or phrase for the user.
QString ReasonText(const Reason& reason);

} // namespace vistrel
