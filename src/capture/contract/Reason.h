#pragma once
// What went wrong, as a code with its particulars, for the layers below the window: the window turns it
// into a sentence in the user's language, the diagnostics into an English line.
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>

namespace vistrel {

enum class ReasonCode : std::uint16_t {
    None = 0,
    // Devices: path is the node or device path, error the errno.
    NodeCannotOpen,        // path, error
    NodeAccessDenied,      // path, error, group (empty when no group grants access)
    UsbNodeNotWritable,    // path: the udev rule is missing
    ScannerLeftToDriver,   // path: film type lost, stills at preview size; the udev rule mends it
    ScannerHeldElsewhere,  // path: another program has the video node; film type lost
    DeviceLocked,          // the scanner cannot run: another program holds it
    // Stills.
    StillDamaged,
    StillTooLarge,         // width, height
    // Saving: path is the folder or the file.
    SaveCancelled,
    NoSaveFolder,
    EntryHoldsNoImage,
    UnknownFormat,         // width holds the format value
    NoWriter,
    AbsurdImageSize,
    FolderCannotBeMade,    // path, error
    CannotWriteIn,         // path (folder), error
    WriteFailed,           // error
    EncodeFailed,
    NotDurable,            // error
    NoFreeName,
};

struct Reason
{
    Reason() = default;
    explicit Reason(ReasonCode code, std::string path = {}, int error = 0)
        : code(code), path(std::move(path)), error(error)
    {
    }
    Reason WithSize(std::int32_t newWidth, std::int32_t newHeight) &&
    {
        width = newWidth;
        height = newHeight;
        return std::move(*this);
    }
    Reason WithGroup(std::string newGroup) &&
    {
        group = std::move(newGroup);
        return std::move(*this);
    }
    Reason WithDetail(std::string newDetail) &&
    {
        detail = std::move(newDetail);
        return std::move(*this);
    }

    ReasonCode code = ReasonCode::None;
    std::string path;          // UTF-8
    int error = 0;             // errno, 0 when none
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::string group;
    std::string detail;        // a library's own words, for the log only

    explicit operator bool() const { return code != ReasonCode::None; }
    bool operator==(const Reason&) const = default;
};

// An English line for the logs and bug reports; never shown in the window.
inline std::string ReasonLogText(const Reason& reason)
{
    const auto withError = [&](std::string text) {
        if (reason.error != 0)
            text += " (" + std::generic_category().message(reason.error) + ")";
        return text;
    };
    const auto withDetail = [&](std::string text) { return reason.detail.empty() ? text : text + ": " + reason.detail; };
    const std::string size = std::to_string(reason.width) + " x " + std::to_string(reason.height);
    switch (reason.code) {
    case ReasonCode::None: return {};
    case ReasonCode::NodeCannotOpen: return withError(reason.path + " cannot be opened");
    case ReasonCode::NodeAccessDenied:
        return withError(reason.path + " may not be opened" +
                         (reason.group.empty() ? std::string() : "; group \"" + reason.group + "\" grants access"));
    case ReasonCode::UsbNodeNotWritable: return reason.path + ": the USB device node is not writable (no udev rule)";
    case ReasonCode::ScannerLeftToDriver: return reason.path + ": left to the video driver (no udev rule)";
    case ReasonCode::ScannerHeldElsewhere: return reason.path + ": left to the video driver (held by another program)";
    case ReasonCode::DeviceLocked: return "the device is locked by another application";
    case ReasonCode::StillDamaged: return withDetail("the still is damaged or cannot be read");
    case ReasonCode::StillTooLarge: return "the still is too large (" + size + " pixels)";
    case ReasonCode::SaveCancelled: return "the save was cancelled";
    case ReasonCode::NoSaveFolder: return "no save folder is chosen";
    case ReasonCode::EntryHoldsNoImage: return "the entry holds no image";
    case ReasonCode::UnknownFormat: return "unknown file format " + std::to_string(reason.width);
    case ReasonCode::NoWriter: return "no writer for this format";
    case ReasonCode::AbsurdImageSize: return "absurd image size";
    case ReasonCode::FolderCannotBeMade: return withError("the folder " + reason.path + " cannot be created");
    case ReasonCode::CannotWriteIn: return withError("cannot write in " + reason.path);
    case ReasonCode::WriteFailed: return withError("the file could not be written");
    case ReasonCode::EncodeFailed: return withDetail("the image could not be encoded");
    case ReasonCode::NotDurable: return withError("the file may not survive a power cut");
    case ReasonCode::NoFreeName: return "no free file name";
    }
    return "reason " + std::to_string(static_cast<int>(reason.code));
}

} // namespace vistrel
