#include "capture/uvc/UnitResult.h"

namespace vistrel::uvc {

HRESULT PropertyResult(const UnitResult& result)
{
    switch (result.outcome) {
    case UnitOutcome::Answered:
        return S_OK;
    case UnitOutcome::Stalled:
        return result.why == RequestError::Unknown ? HresultFromWin32(ERROR_GEN_FAILURE)
                                                   : ResultFromRequestError(result.why);
    case UnitOutcome::NotLearned:
        return HresultFromWin32(ERROR_NOT_READY);
    case UnitOutcome::Gone:
        return HresultFromWin32(ERROR_DEVICE_NOT_CONNECTED);
    case UnitOutcome::Failed:
        break;
    }
    return result.failure;
}

} // namespace vistrel::uvc
