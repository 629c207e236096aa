#include "ui/shared/WindowTexts.h"

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

}  // namespace folder2pdf
