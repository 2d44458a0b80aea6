#include "frame/uiport.h"

#include <windows.h>

namespace qelp {

void NullUiPort::waitForEvents(DirectoryWatch* watch, int timeoutMs) {
    const std::intptr_t handle = watch ? watch->nativeHandle() : -1;
    const DWORD wait = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 0;
    if (handle != -1) {
        ::WaitForSingleObject(reinterpret_cast<HANDLE>(handle), wait);
        watch->drain();
    } else if (wait > 0) {
        ::Sleep(wait);
    }
}

} // namespace qelp
