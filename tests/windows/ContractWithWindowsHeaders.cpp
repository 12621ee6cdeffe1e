// The contract after <windows.h> and DirectShow's headers: it must compile, and the SDK's macros and
// the contract's names must mean the same numbers.
#include <windows.h>
#include <dbt.h>
#include <dshow.h>

#include "capture/contract/Platform.h"
#include "capture/engine/CaptureEngine.h"

static_assert(S_OK == 0 && S_FALSE == 1);
static_assert(E_FAIL == vistrel::MakeResult(0x80004005u));
static_assert(E_PROP_ID_UNSUPPORTED == vistrel::HresultFromWin32(ERROR_NOT_FOUND));
static_assert(VFW_E_NOT_CONNECTED == vistrel::MakeResult(0x80040209u));
static_assert(VFW_S_STATE_INTERMEDIATE == vistrel::MakeResult(0x00040237u));
static_assert(WS_CHILD == 0x40000000 && OATRUE == -1 && OAFALSE == 0);
static_assert(DBT_DEVICEARRIVAL == 0x8000 && DBT_DEVICEREMOVECOMPLETE == 0x8004 && DBT_DEVTYP_DEVICEINTERFACE == 5);
static_assert(sizeof(vistrel::HRESULT) == 4);
