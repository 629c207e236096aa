#include "ui/shared/WindowTexts.h"

#include <algorithm>

namespace folder2pdf {

const char* folderPrompt() {
    return "请选择图片文件夹";
}

std::string messageText(JobMessage message, std::int32_t count) {
    switch (message) {
        case JobMessage::Count:
            return " 共" + std::to_string(count) + "幅";
        case JobMessage::Done:
            return "完成！";
        case JobMessage::Stopped:
            return "已停止";
    }
    return {};
}

std::string replaceQuestion(const std::string& document) {
    return "文件夹中已有 " + document +
           "。\n列表中的图片不是这个文件夹的全部图片，替换后原来的文档将被覆盖。";
}

std::string leftOutText(std::size_t count) {
    return "（" + std::to_string(count) + "个文件不是图片，未列出）";
}

std::string maxSizeChosenCaption(const std::string& size) {
    return "大小上限（" + size + "）…";
}

const char* controlTip(Control control) {
    switch (control) {
        case Control::List:
            return "拖动图片可调整顺序（Ctrl+↑/Ctrl+↓ 移动所选图片）\n"
                   "Delete 移除，Ctrl+R/Ctrl+L 旋转，Ctrl+Z 撤销\n"
                   "Ctrl+T 缩略图，Ctrl+Shift+O 添加图片";
        case Control::Command1:
            return "打开图片文件夹（Ctrl+O）";
        case Control::Command2:
            return "生成 PDF（Ctrl+S）；运行中按 Esc 停止";
        case Control::Command3:
            return "上移所选图片（Ctrl+↑）";
        case Control::Command4:
            return "下移所选图片（Ctrl+↓）";
        default:
            return "";
    }
}

const char* accessibleName(Control control) {
    switch (control) {
        case Control::List:
            return "图片列表";
        case Control::Command1:
            return "打开";
        case Control::Command2:
            return "生成";
        case Control::Command3:
            return "上移";
        case Control::Command4:
            return "下移";
        default:
            return "";
    }
}

namespace {

// Bytes of the UTF-8 character that starts with `lead`.
std::size_t charBytes(unsigned char lead) {
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

}  // namespace

std::string wrappedTip(const std::string& text, std::size_t columns) {
    std::string out;
    std::string line;
    std::size_t lineChars = 0;
    std::size_t breakAt = std::string::npos;  // in line, after a separator
    std::size_t charsBeforeBreak = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = std::min(charBytes(static_cast<unsigned char>(text[i])),
                                       text.size() - i);
        const std::string character = text.substr(i, n);
        i += n;
        if (character == "\n") {
            out += line + "\n";
            line.clear();
            lineChars = 0;
            breakAt = std::string::npos;
            continue;
        }
        if (lineChars == columns) {
            // Break after the last separator, or else where the line is full.
            const std::size_t cut = breakAt != std::string::npos ? breakAt : line.size();
            out += line.substr(0, cut) + "\n";
            line.erase(0, cut);
            lineChars = breakAt != std::string::npos ? lineChars - charsBeforeBreak : 0;
            breakAt = std::string::npos;
        }
        line += character;
        ++lineChars;
        if (character == "/" || character == "\\" || character == " ") {
            breakAt = line.size();
            charsBeforeBreak = lineChars;
        }
    }
    return out + line;
}

}  // namespace folder2pdf
