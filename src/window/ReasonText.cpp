#include "window/ReasonText.h"

#include "app/Localization.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

namespace vistrel {

namespace {

#ifdef EDQUOT
constexpr int kQuotaExceeded = EDQUOT;
#else
constexpr int kQuotaExceeded = -1;   // the system has no quotas to run out of
#endif

// The errors a user can act on get words of their own; the rest are named by number.
constexpr std::array<std::pair<int, std::uint32_t>, 11> kErrorTexts {{
    {EACCES, IdsErrorPermission}, {EPERM, IdsErrorPermission}, {EBUSY, IdsErrorBusy}, {ENODEV, IdsErrorNoDevice},
    {ENXIO, IdsErrorNoDevice}, {ENOENT, IdsErrorNoDevice}, {ENOSPC, IdsErrorDiskFull}, {EROFS, IdsErrorReadOnly},
    {EIO, IdsErrorInputOutput}, {EFBIG, IdsErrorFileTooLarge}, {kQuotaExceeded, IdsErrorQuota},
}};

// Reasons that need nothing but their own words.
constexpr std::array<std::pair<ReasonCode, std::uint32_t>, 11> kPlainReasons {{
    {ReasonCode::UsbNodeNotWritable, IdsUsbNodeNotWritable},
    {ReasonCode::ScannerLeftToDriver, IdsScannerLeftToDriver},
    {ReasonCode::ScannerHeldElsewhere, IdsScannerHeldElsewhere},
    {ReasonCode::DeviceLocked, IdsDeviceLocked},
    {ReasonCode::StillDamaged, IdsScannedImageDamaged},
    {ReasonCode::SaveCancelled, IdsSaveCancelled},
    {ReasonCode::NoSaveFolder, IdsNoSaveFolder},
    {ReasonCode::EntryHoldsNoImage, IdsEntryHoldsNoImage},
    {ReasonCode::NoWriter, IdsNoWriter},
    {ReasonCode::AbsurdImageSize, IdsAbsurdImageSize},
    {ReasonCode::EncodeFailed, IdsEncodeFailed},
}};

QString Utf8(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

QString LocalizedText(std::uint32_t stringId, const QStringList& arguments)
{
    QString text = LoadLocalizedText(stringId);
    switch (arguments.size()) {
    case 0: return text;
    case 1: return text.arg(arguments[0]);
    case 2: return text.arg(arguments[0], arguments[1]);
    default: return text.arg(arguments[0], arguments[1], arguments[2]);
    }
}

QString ErrorText(int error)
{
    const auto found = std::find_if(kErrorTexts.begin(), kErrorTexts.end(),
                                    [error](const auto& entry) { return entry.first == error; });
    if (found != kErrorTexts.end())
        return LocalizedText(found->second);
    return LocalizedText(IdsErrorOther, {QString::number(error)});
}

QString ReasonText(const Reason& reason)
{
    const auto plain = std::find_if(kPlainReasons.begin(), kPlainReasons.end(),
                                    [&](const auto& entry) { return entry.first == reason.code; });
    if (plain != kPlainReasons.end())
        return LocalizedText(plain->second);
    const QString path = Utf8(reason.path);
    switch (reason.code) {
    case ReasonCode::NodeCannotOpen: return LocalizedText(IdsNodeCannotOpen, {path, ErrorText(reason.error)});
    case ReasonCode::NodeAccessDenied:
        return reason.group.empty() ? LocalizedText(IdsNodeAccessAdmin, {path})
                                    : LocalizedText(IdsNodeAccessGroup, {path, Utf8(reason.group)});
    case ReasonCode::StillTooLarge:
        return LocalizedText(IdsScannedImageTooLarge, {QString::number(reason.width), QString::number(reason.height)});
    case ReasonCode::UnknownFormat: return LocalizedText(IdsUnknownFormat, {QString::number(reason.width)});
    case ReasonCode::FolderCannotBeMade: return LocalizedText(IdsFolderCannotBeMade, {path, ErrorText(reason.error)});
    case ReasonCode::CannotWriteIn: return LocalizedText(IdsCannotWriteIn, {path, ErrorText(reason.error)});
    case ReasonCode::WriteFailed: return LocalizedText(IdsWriteFailed, {ErrorText(reason.error)});
    case ReasonCode::NotDurable: return LocalizedText(IdsNotDurable, {ErrorText(reason.error)});
    case ReasonCode::NoFreeName: return LocalizedText(IdsNoFreeName);
    default: return {};
    }
}

} // namespace vistrel
