#include "capture/dshow/DshowGraphEvents.h"

#include <mutex>
#include <utility>

namespace vistrel::dshow {
namespace {

using Microsoft::WRL::ComPtr;

constexpr UINT kGraphEventMessage = WM_APP + 0x47; // private to our own message-only window
constexpr const wchar_t* kWindowClass = L"VistrelGraphEvents";

HINSTANCE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

// The manager posts one message to a window of ours for every event it queues (SetNotifyWindow), on
// the thread that owns the window. That is the way Microsoft documents for an application: the events
// are taken where the graph lives, with no second thread calling into its apartment. Each event is
// taken with GetEvent and its parameters freed with FreeEventParams (an EC_DEVICE_LOST holds a
// reference to the device's filter until then).
class GraphEvents final : public vistrel::IMediaEventEx, public std::enable_shared_from_this<GraphEvents> {
public:
    explicit GraphEvents(ComPtr<::IMediaEventEx> native) : native(std::move(native)) {}
    ~GraphEvents() override
    {
        native->SetNotifyWindow(0, 0, 0);
        if (window) {
            // A message already posted finds no object behind the window.
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            DestroyWindow(window);
        }
    }

    vistrel::HRESULT SetNotify(vistrel::MediaEventHandler newHandler) override
    {
        if (!newHandler) {
            handler = {};
            return native->SetNotifyWindow(0, 0, 0);
        }
        if (!window && !CreateWindowForEvents())
            return HRESULT_FROM_WIN32(GetLastError());
        // What the graph reported before anyone listened is nobody's request: taken and dropped.
        Drain();
        handler = std::move(newHandler);
        return native->SetNotifyWindow(reinterpret_cast<OAHWND>(window), kGraphEventMessage, 0);
    }

private:
    bool CreateWindowForEvents()
    {
        static std::once_flag registered;
        std::call_once(registered, [] {
            WNDCLASSW windowClass {};
            windowClass.lpfnWndProc = &GraphEvents::Procedure;
            windowClass.hInstance = ThisModule();
            windowClass.lpszClassName = kWindowClass;
            RegisterClassW(&windowClass);
        });
        window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr);
        if (window)
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        return window != nullptr;
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message != kGraphEventMessage)
            return DefWindowProcW(window, message, wParam, lParam);
        if (auto* events = reinterpret_cast<GraphEvents*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
            events->Drain();
        return 0;
    }

    // Every queued event now; several may share one message. The handler may replace itself or let
    // the graph go, so it is called through a copy with this object kept alive.
    void Drain()
    {
        const auto keep = shared_from_this();
        long code = 0;
        LONG_PTR param1 = 0, param2 = 0;
        while (native->GetEvent(&code, &param1, &param2, 0) == S_OK) {
            if (const auto current = handler)
                current(std::int32_t(code), std::intptr_t(param1), std::intptr_t(param2));
            native->FreeEventParams(code, param1, param2);
        }
    }

    ComPtr<::IMediaEventEx> native;
    HWND window = nullptr;
    vistrel::MediaEventHandler handler;
};

} // namespace

std::shared_ptr<vistrel::IMediaEventEx> MakeGraphEvents(ComPtr<::IMediaEventEx> native)
{
    return std::make_shared<GraphEvents>(std::move(native));
}

} // namespace vistrel::dshow
