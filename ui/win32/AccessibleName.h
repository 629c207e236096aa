#pragma once

#include <windows.h>

#include <string>

namespace folder2pdf::AccessibleName {

// Gives `control` the name screen readers say for it (Narrator, NVDA,
// JAWS), where its caption says too little, such as a button captioned
// with an arrow: an annotation of the control's MSAA name through the
// system's accessibility property service (Active Accessibility 2.0,
// Windows XP on). COM must be initialised on the calling thread; where it
// isn't, or the service is missing, the control keeps its own name.
void set(HWND control, const std::wstring& name);

}  // namespace folder2pdf::AccessibleName
