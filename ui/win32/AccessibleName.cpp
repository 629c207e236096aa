#include "ui/win32/AccessibleName.h"

// The service's identifiers are defined here, so that the program needs
// nothing of oleacc.dll but what COM loads for it.
#include <initguid.h>

#include <oleacc.h>

namespace folder2pdf::AccessibleName {

void set(HWND control, const std::wstring& name) {
    if (!control || name.empty()) {
        return;
    }
    IAccPropServices* service = nullptr;
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&service)))) {
        return;
    }
    service->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                            PROPID_ACC_NAME, name.c_str());
    service->Release();
}

}  // namespace folder2pdf::AccessibleName
