#include "cli/ConsoleProgress.h"

#include <cmath>
#include <cstdio>

#include "cli/Console.h"
#include "common/Error.h"
#include "common/Path.h"
#include "common/Text.h"
#include "common/Utf8.h"

namespace folder2pdf {
namespace {

// One UTF-8 sequence starting at text[i]: its length in bytes and its
// width in columns. Bytes that don't form a valid sequence count as one
// column each, so that a name in another encoding still fits.
struct Glyph {
    std::size_t bytes;
    int columns;
};

bool isWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) ||
           (c >= 0x20000 && c <= 0x3FFFD);
}

Glyph glyphAt(const std::string& text, std::size_t i) {
    const std::size_t start = i;
    const std::optional<char32_t> c = nextCodePoint(text, i);
    if (!c) {
        return {1, 1};
    }
    if (*c < 0x20 || (*c >= 0x7F && *c < 0xA0)) {
        return {i - start, 0};
    }
    return {i - start, isWide(*c) ? 2 : 1};
}

int columnsOf(const std::string& text) {
    int columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        const Glyph glyph = glyphAt(text, i);
        columns += glyph.columns;
        i += glyph.bytes;
    }
    return columns;
}

std::string minutesAndSeconds(double seconds) {
    const long long whole = std::llround(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

// `text` cut to at most `columns` terminal columns, ending in "…" when cut.
std::string fitToColumns(const std::string& text, int columns) {
    if (columnsOf(text) <= columns) {
        return text;
    }
    std::string cut;
    int used = 0;
    for (std::size_t i = 0; i < text.size();) {
        const Glyph glyph = glyphAt(text, i);
        if (used + glyph.columns > columns - 1) {
            break;
        }
        cut.append(text, i, glyph.bytes);
        used += glyph.columns;
        i += glyph.bytes;
    }
    return columns > 0 ? cut + "…" : cut;
}

}  // namespace

ConsoleProgress::ConsoleProgress(bool onTerminal, bool keepGoing)
    : onTerminal_(onTerminal), keepGoing_(keepGoing) {}

ConsoleProgress::~ConsoleProgress() {
    clearLine();
}

void ConsoleProgress::setPictures(const std::vector<Picture>& pictures) {
    names_.clear();
    for (const Picture& picture : pictures) {
        names_.push_back(picture.name);
    }
}

void ConsoleProgress::started(std::int32_t pictures) {
    if (batch_) {
        if (!batchStarted_) {
            start_ = std::chrono::steady_clock::now();
            batchStarted_ = true;
        }
        return;
    }
    pictures_ = pictures;
    start_ = std::chrono::steady_clock::now();
}

void ConsoleProgress::pageWritten(std::int32_t index, std::int64_t) {
    if (onTerminal_) {
        drawLine(index + 1);
    }
}

FailureAnswer ConsoleProgress::pictureFailed(std::int32_t, const Error& error) {
    if (!keepGoing_) {
        return FailureAnswer::Stop;
    }
    clearLine();
    printText(stderr, "folder2pdf: " + shownMessage(error) + "; left out\n");
    std::fflush(stderr);
    return FailureAnswer::Skip;
}

void ConsoleProgress::finished(const JobResult& result) {
    if (!onTerminal_ || batch_) {
        return;
    }
    clearLine();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char text[96];
    std::snprintf(text, sizeof text, "done: %d page%s in %.1f s", result.pages,
                  result.pages == 1 ? "" : "s", elapsed);
    std::string line = text;
    if (!result.skipped.empty()) {
        line += "; " + std::to_string(result.skipped.size()) + " left out";
    }
    printText(stderr, line + "\n");
    std::fflush(stderr);
}

void ConsoleProgress::stopped(std::int32_t pagesDone) {
    if (!onTerminal_) {
        return;
    }
    clearLine();
    char text[96];
    std::snprintf(text, sizeof text, "stopped after %d of %d pictures; ", before_ + pagesDone,
                  pictures_);
    printText(stderr, text + (batch_ ? batchFolder_ + ".pdf not written\n" : "nothing written\n"));
    std::fflush(stderr);
}

void ConsoleProgress::continueBatch(const std::string& folder, std::int32_t before,
                                    std::int32_t total) {
    batch_ = true;
    batchFolder_ = folder;
    before_ = before;
    pictures_ = total;
}

void ConsoleProgress::finishBatch(std::int32_t documents, std::int32_t pages,
                                  std::int32_t failed) {
    if (!onTerminal_) {
        return;
    }
    clearLine();
    const double elapsed =
        batchStarted_
            ? std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count()
            : 0.0;
    char text[160];
    std::snprintf(text, sizeof text, "done: %d document%s, %d page%s in %.1f s", documents,
                  documents == 1 ? "" : "s", pages, pages == 1 ? "" : "s", elapsed);
    std::string line = text;
    if (failed > 0) {
        line += "; " + std::to_string(failed) + (failed == 1 ? " folder" : " folders") + " failed";
    }
    printText(stderr, line + "\n");
    std::fflush(stderr);
}

void ConsoleProgress::drawLine(std::int32_t picture) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const std::int32_t done = before_ + picture;
    std::string counts =
        "[" + std::to_string(before_ + picture) + "/" + std::to_string(pictures_) + "] ";
    std::string speed;
    if (done > 0 && elapsed > 0) {
        const double rate = done / elapsed;
        char text[64];
        std::snprintf(text, sizeof text, "  %.1f pages/s  %s left", rate,
                      minutesAndSeconds((pictures_ - done) / rate).c_str());
        speed = text;
    }
    std::string name;
    if (picture >= 1 && static_cast<std::size_t>(picture) <= names_.size()) {
        const std::string& row = names_[static_cast<std::size_t>(picture) - 1];
        name = shownFile(batch_ ? batchFolder_ + "/" + row : row);
    }
    // One column stays free: writing the last column makes some terminals
    // wrap, and \r would then redraw only the second line.
    const int room = terminalColumns() - 1 - columnsOf(counts) - columnsOf(speed);
    const std::string line = counts + fitToColumns(name, room > 1 ? room : 1) + speed;
    showStatusLine(line);
    std::fflush(stderr);
    lineShown_ = true;
}

void ConsoleProgress::clearLine() {
    if (lineShown_) {
        clearStatusLine();
        std::fflush(stderr);
        lineShown_ = false;
    }
}

}  // namespace folder2pdf
