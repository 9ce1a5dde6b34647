#include "controls/unelevated_open.h"

#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>

#include "platform/unique_any.h"

namespace {

template <typename T>
struct ComPolicy {
    using pointer = T*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer value) noexcept { value->Release(); }
};
template <typename T>
using unique_com = unique_any<ComPolicy<T>>;

// The shell's own dispatch object, from the desktop window's folder view: whatever it starts
// runs in Explorer's process, as the signed-in user.
bool DesktopShell(unique_com<IShellDispatch2>& shell) {
    unique_com<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(windows.put())))) {
        return false;
    }
    VARIANT empty{};
    VariantInit(&empty);
    long window = 0;
    unique_com<IDispatch> desktop;
    if (windows.get()->FindWindowSW(&empty, &empty, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktop.put()) != S_OK ||
        !desktop) {
        return false;
    }
    unique_com<IServiceProvider> services;
    unique_com<IShellBrowser> browser;
    unique_com<IShellView> view;
    unique_com<IDispatch> background;
    unique_com<IShellFolderViewDual> folderView;
    unique_com<IDispatch> application;
    return SUCCEEDED(desktop.get()->QueryInterface(IID_PPV_ARGS(services.put()))) &&
           SUCCEEDED(services.get()->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(browser.put()))) &&
           SUCCEEDED(browser.get()->QueryActiveShellView(view.put())) &&
           SUCCEEDED(view.get()->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(background.put()))) &&
           SUCCEEDED(background.get()->QueryInterface(IID_PPV_ARGS(folderView.put()))) &&
           SUCCEEDED(folderView.get()->get_Application(application.put())) &&
           SUCCEEDED(application.get()->QueryInterface(IID_PPV_ARGS(shell.put())));
}

}  // namespace

LinkRoute ChooseLinkRoute(bool elevated, bool desktopAvailable) {
    if (!elevated) return LinkRoute::Directly;
    return desktopAvailable ? LinkRoute::ThroughTheDesktop : LinkRoute::NotAtAll;
}

bool ProcessIsElevated() {
    unique_handle token;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        !GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size)) {
        return true;
    }
    return elevation.TokenIsElevated != 0;
}

HINSTANCE WINAPI OpenAsSignedInUser(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                                    INT show) {
    const bool elevated = ProcessIsElevated();
    if (!elevated) {
        return ShellExecuteW(owner, verb, file, parameters, directory, show);
    }
    // The shell's objects need an apartment on this thread; the dialog's thread has none of its own.
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    HINSTANCE result = reinterpret_cast<HINSTANCE>(SE_ERR_ACCESSDENIED);
    {
        unique_com<IShellDispatch2> shell;
        const bool desktop = DesktopShell(shell);
        if (ChooseLinkRoute(elevated, desktop) == LinkRoute::ThroughTheDesktop) {
            BSTR url = SysAllocString(file);
            VARIANT arguments{};
            VariantInit(&arguments);
            if (parameters) {
                arguments.vt = VT_BSTR;
                arguments.bstrVal = SysAllocString(parameters);
            }
            VARIANT folder{};
            VariantInit(&folder);
            if (directory) {
                folder.vt = VT_BSTR;
                folder.bstrVal = SysAllocString(directory);
            }
            VARIANT operation{};
            operation.vt = VT_BSTR;
            operation.bstrVal = SysAllocString(verb ? verb : L"open");
            VARIANT shown{};
            shown.vt = VT_I4;
            shown.lVal = show;
            if (url && operation.bstrVal && SUCCEEDED(shell.get()->ShellExecute(url, arguments, folder, operation, shown))) {
                result = reinterpret_cast<HINSTANCE>(33);  // as ShellExecuteW says "done"
            }
            VariantClear(&operation);
            VariantClear(&folder);
            VariantClear(&arguments);
            SysFreeString(url);
        }
    }
    if (SUCCEEDED(apartment)) CoUninitialize();
    return result;
}
