// Windows back end: message boxes through MessageBox.
#include "platform/backend/message_box.h"

#include "platform/win32/native_window.h"

namespace platform {

bool showMessageBox(const char* caption, const char* text, MessageIcon icon)
{
    const UINT style = MB_OK | (icon == MessageIcon::error ? MB_ICONEXCLAMATION : MB_ICONINFORMATION);
    return MessageBoxA(nullptr, text, caption, style) != 0;
}

} // namespace platform
