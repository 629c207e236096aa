#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "job/JobView.h"
#include "ui/shared/WindowDesign.h"

namespace folder2pdf {

// The window's own words for what the folder job tells it, in UTF-8, the
// same for every window toolkit: the prompt of the folder chooser and the
// texts of the status bar's message field.

// The folder chooser's prompt: "请选择图片文件夹".
const char* folderPrompt();

// The list's menu item that takes the selected entry off the list: "移除".
inline constexpr const char* removeCaption = "移除";
// The list's menu: turning the selected pictures, undoing the last change
// of the list, and its order (the first the natural order of the names).
inline constexpr const char* turnRightCaption = "向右旋转";
inline constexpr const char* turnLeftCaption = "向左旋转";
inline constexpr const char* undoCaption = "撤销";
inline constexpr const char* nameOrderChoice = "按名称";
inline constexpr const char* reverseCaption = "倒序";

// The list's menu: pictures from anywhere, and the list's two views (the
// names alone, the default, or thumbnails beside them).
inline constexpr const char* addPicturesCaption = "添加图片…";
inline constexpr const char* addPicturesTitle = "添加图片";
// The file types its chooser offers: the pictures, and every file.
inline constexpr const char* picturesFilterCaption = "图片";
inline constexpr const char* allFilesFilterCaption = "所有文件";
inline constexpr const char* thumbnailsCaption = "缩略图";
inline constexpr const char* namesCaption = "列表";

// 生成's menu: a size the document must stay within, asked for in a box.
inline constexpr const char* maxSizeCaption = "大小上限…";
inline constexpr const char* maxSizePrompt = "文档大小上限（如 800KB、5MB；1MB = 1,000,000 字节）：";
// The item's caption once a size is chosen: "大小上限（5MB）…".
std::string maxSizeChosenCaption(const std::string& size);

// What each control says when the mouse rests on it, with its keys, and
// what a screen reader calls it.
const char* controlTip(Control control);
const char* accessibleName(Control control);

// `text` broken into lines of at most `columns` characters, after a path
// separator or a space where there is one, so that a long path's tip stays
// on the screen.
std::string wrappedTip(const std::string& text, std::size_t columns = 60);

// The first choices of 生成's menu groups, the program's defaults: the
// picture's own size as the page, and lossless pictures. The other choices
// come with the command line's options they stand for.
inline constexpr const char* ownSizeChoice = "原始尺寸";
inline constexpr const char* losslessChoice = "无损";
inline constexpr const char* grayChoice = "灰度";

// The buttons of the box for a picture that can't be made a page.
inline constexpr const char* retryCaption = "重试";
inline constexpr const char* skipCaption = "跳过";
inline constexpr const char* cancelCaption = "取消";
// The box before a list that isn't the folder's whole listing would
// replace the folder's document, and its buttons.
std::string replaceQuestion(const std::string& document);
inline constexpr const char* replaceCaption = "替换";
inline constexpr const char* saveAsCaption = "另存为…";
inline constexpr const char* saveAsTitle = "另存为";
// The status message's words for files the listing left out.
std::string leftOutText(std::size_t count);

// 生成's caption while a run is under way: a click stops it.
inline constexpr const char* stopCaption = "停止";

// The status bar's text for `message`: " 共" + count + "幅" after a folder is
// listed (a blank first; the count in plain decimal), "完成！" once the
// document is written, "已停止" when a run was stopped.
std::string messageText(JobMessage message, std::int32_t count);

}  // namespace folder2pdf
