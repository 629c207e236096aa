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

}  // namespace folder2pdf
