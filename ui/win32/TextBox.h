#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace folder2pdf::TextBox {

// A modal box over `owner`, titled `title`, asking for one line of text:
// `prompt` above a field holding `initial` (selected), and the buttons
// 确定 and 取消. Made from a template in memory, so that it needs no
// resource. Returns the field's text, or nothing when cancelled.
std::optional<std::wstring> ask(HWND owner, const std::wstring& title, const std::wstring& prompt,
                                const std::wstring& initial);

}  // namespace folder2pdf::TextBox
