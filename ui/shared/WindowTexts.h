#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "job/JobView.h"

namespace folder2pdf {

// The window's own words for what the folder job tells it, in UTF-8, the
// same for every window toolkit: the prompt of the folder chooser and the
// texts of the status bar's message field.

// The folder chooser's prompt: "请选择图片文件夹".
const char* folderPrompt();

// The list's menu item that takes the selected entry off the list: "移除".
inline constexpr const char* removeCaption = "移除";

// The choices on 生成's menu: the paper a page is laid out on (the first,
// the picture's own size, as the program always did) and how the pictures
// are stored (lossless as always, lossless made smaller, lossy photos).
inline constexpr std::array<const char*, 3> paperChoices{"原始尺寸", "A4", "Letter"};
inline constexpr std::array<const char*, 3> compressionChoices{"无损", "无损压缩", "照片 JPEG"};

// The status bar's text for `message`: " 共" + count + "幅" after a folder is
// listed (a blank first; the count in plain decimal), "完成！" once the
// document is written, "已停止" when a run was stopped.
std::string messageText(JobMessage message, std::int32_t count);

}  // namespace folder2pdf
