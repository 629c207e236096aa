#include "ui/shared/ErrorText.h"


#include <new>

#include "common/Path.h"
#include "common/Text.h"

namespace folder2pdf {
namespace {

const char* sentence(ErrorReason reason) {
    switch (reason) {
        case ErrorReason::CannotRead:
            return "无法读取这个文件。";
        case ErrorReason::NotAPicture:
            return "这个文件不是 BMP、GIF、JPEG、PNG、TIFF、WebP、HEIC 或 AVIF 图片。";
        case ErrorReason::Damaged:
            return "图片已损坏，无法读取。";
        case ErrorReason::TooLarge:
            return "文件太大，超出了程序能处理的范围。";
        case ErrorReason::CannotWrite:
            return "无法写入 PDF 文档。";
        case ErrorReason::DiskFull:
            return "磁盘已满，无法写入 PDF 文档。";
        case ErrorReason::PermissionDenied:
            return "没有权限：系统拒绝访问这个文件或文件夹。";
        case ErrorReason::InUse:
            return "PDF 文档正被另一个程序使用（例如 PDF 阅读器）。请关闭它后重试。";
        case ErrorReason::OutOfMemory:
            return "内存不足。";
    }
    return "发生了错误。";
}

}  // namespace

ErrorText errorText(const Error& error) {
    // The system's words on a held file say nothing the sentence doesn't,
    // and come in the system's language, not the window's.
    const bool held = error.reason() == ErrorReason::InUse;
    return {sentence(error.reason()), shownFile(error.file()), held ? "" : error.detail()};
}

ErrorText errorText(const std::exception& error) {
    if (const auto* engine = dynamic_cast<const Error*>(&error)) {
        return errorText(*engine);
    }
    if (dynamic_cast<const std::bad_alloc*>(&error)) {
        return {sentence(ErrorReason::OutOfMemory), "", error.what()};
    }
    return {"发生了意外的错误。", "", error.what()};
}

std::string boxText(const ErrorText& text) {
    std::string box = "没有完成：" + text.what;
    if (!text.file.empty()) {
        box += "\n" + text.file;
    }
    if (!text.detail.empty()) {
        box += "\n\n详细信息：" + text.detail;
    }
    return box;
}

}  // namespace folder2pdf
