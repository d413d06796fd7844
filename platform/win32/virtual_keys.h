// Virtual-key codes of keyboard messages as the codes the layer hands out.
#pragma once

#include <cstdint>

namespace platform {

// The virtual-key code of a WM_KEYDOWN / WM_KEYUP / WM_SYSKEYDOWN /
// WM_SYSKEYUP message (its wParam), 0 for a message that names no key.
//
// The system's codes are already the layer's: letters give their upper-case
// code and the main number row '0'..'9' in every layout, punctuation the
// layout's OEM code. Only the left and right variants of Shift, Ctrl and
// Alt (which some input methods send) become the generic 16, 17 and 18, and
// the codes that stand for no key (an input method's "processed" key, text
// injected as a key packet, 0 and 255) become 0.
int virtualKeyFromMessage(std::uintptr_t wParam);

} // namespace platform
