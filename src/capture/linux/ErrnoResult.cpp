#include "capture/linux/ErrnoResult.h"

#include <cerrno>
#include <span>

namespace vistrel::lnx {

namespace {

struct ErrnoRow
{
    int error;
    std::uint32_t win32;
};

// uvcvideo turns the device's request error codes into these errnos.
constexpr ErrnoRow kCommonRows[] = {
    {ENOENT, ERROR_NOT_FOUND},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ERANGE, ERROR_INVALID_PARAMETER},
    {ENOBUFS, ERROR_INSUFFICIENT_BUFFER},
    {ENODEV, ERROR_DEVICE_NOT_CONNECTED},
    {ENXIO, ERROR_DEVICE_NOT_CONNECTED},
    {ESHUTDOWN, ERROR_DEVICE_NOT_CONNECTED},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EPIPE, ERROR_GEN_FAILURE},
    {EILSEQ, ERROR_GEN_FAILURE},
    {EIO, ERROR_IO_DEVICE},
    {EPROTO, ERROR_IO_DEVICE},
    {ETIMEDOUT, ERROR_SEM_TIMEOUT},
    {ETIME, ERROR_SEM_TIMEOUT},
    {ENOTTY, ERROR_NOT_SUPPORTED},
    {EBADRQC, ERROR_NOT_SUPPORTED},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {ENOSPC, ERROR_NO_SYSTEM_RESOURCES}, // not enough USB bandwidth for the format
};

constexpr ErrnoRow kControlRows[] = {
    {EBUSY, ERROR_NOT_READY},
    {EAGAIN, ERROR_NOT_READY},
};

constexpr ErrnoRow kStreamRows[] = {
    {EBUSY, ERROR_SHARING_VIOLATION},
    {EAGAIN, ERROR_NOT_READY},
};

HRESULT Lookup(int error, std::span<const ErrnoRow> specific)
{
    if (error == 0)
        return S_OK;
    for (const auto& rows : {specific, std::span<const ErrnoRow>(kCommonRows)}) {
        for (const ErrnoRow& row : rows) {
            if (row.error == error)
                return HresultFromWin32(row.win32);
        }
    }
    return E_FAIL;
}

} // namespace

HRESULT ControlResultFromErrno(int error)
{
    return Lookup(error, kControlRows);
}

HRESULT StreamResultFromErrno(int error)
{
    return Lookup(error, kStreamRows);
}

} // namespace vistrel::lnx
