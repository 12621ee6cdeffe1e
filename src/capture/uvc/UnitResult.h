#pragma once
// What one class request to a unit came to, as the protocol sees it. Each backend reads its own
// transport's outcome into this in one place; everything above talks this result.
#include <cstdint>

#include "capture/contract/Result.h"
#include "capture/uvc/ControlRequests.h"

namespace vistrel::uvc {

enum class UnitOutcome : std::uint8_t {
    Answered,
    Stalled,     // the device refused; the control interface's request error code says why
    NotLearned,  // the kernel's driver could not learn the control from the device yet (its first use)
    Gone,        // the device is no longer there
    Failed,      // the transport failed otherwise; the result code says how
};

struct UnitResult
{
    UnitOutcome outcome = UnitOutcome::Answered;
    RequestError why = RequestError::NoError;   // for a stall
    HRESULT failure = S_OK;                     // for any other failure
    int transferred = 0;

    static UnitResult Answered(int transferred)
    {
        return {UnitOutcome::Answered, RequestError::NoError, S_OK, transferred};
    }
    static UnitResult Stalled(RequestError why) { return {UnitOutcome::Stalled, why, S_OK, 0}; }
    static UnitResult NotLearned() { return {UnitOutcome::NotLearned, RequestError::NoError, S_OK, 0}; }
    static UnitResult Gone() { return {UnitOutcome::Gone, RequestError::NoError, S_OK, 0}; }
    static UnitResult Failed(HRESULT failure) { return {UnitOutcome::Failed, RequestError::NoError, failure, 0}; }

    bool Ok() const { return outcome == UnitOutcome::Answered; }
};

// The result code a camera property reports for it: a stall by its reason (ResultFromRequestError).
HRESULT PropertyResult(const UnitResult& result);

// One class request to a unit's control selector (SET_CUR, GET_CUR, GET_LEN, GET_INFO, ...), as each
// backend sends it.
class IUnitIo
{
public:
    virtual ~IUnitIo() = default;
    virtual UnitResult Query(std::uint8_t unit, std::uint8_t selector, std::uint8_t request, std::uint8_t* data,
                             std::uint16_t size) = 0;
};

} // namespace vistrel::uvc
