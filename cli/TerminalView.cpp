#include "cli/TerminalView.h"

#include <cmath>
#include <cstdio>

#include "cli/Console.h"
#include "common/Path.h"

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
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    if (lead < 0x80) {
        length = 1;
    } else if (lead >= 0xC2 && lead < 0xE0) {
        length = 2;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        length = 3;
    } else if (lead >= 0xF0 && lead < 0xF5) {
        length = 4;
    }
    if (length == 0 || i + length > text.size()) {
        return {1, 1};
    }
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            return {1, 1};
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
        return {length, 0};
    }
    return {length, isWide(c) ? 2 : 1};
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

// Control characters in a file name would move the cursor; show them as "?".
std::string printable(const std::string& name) {
    std::string text = name;
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
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

TerminalView::TerminalView(std::string folder, bool onTerminal)
    : folder_(std::move(folder)), onTerminal_(onTerminal) {}

TerminalView::~TerminalView() {
    clearLine();
}

std::string TerminalView::chooseFolder(const std::string&) {
    // A folder dialog answers a full path without a trailing separator;
    // "photos/" or "." must name the folder the same way, or the document
    // would be called ".pdf" or "..pdf".
    return absolutePath(folder_);
}

void TerminalView::clearEntries() {
    rows_.clear();
}

void TerminalView::addEntry(const std::string& text) {
    rows_.push_back(text);
}

void TerminalView::setEntry(int row, const std::string& text) {
    if (row >= 0 && static_cast<std::size_t>(row) < rows_.size()) {
        rows_[static_cast<std::size_t>(row)] = text;
    }
}

int TerminalView::selectedEntry() {
    return selected_;
}

void TerminalView::selectEntry(int row) {
    selected_ = row;
}

void TerminalView::showMessage(JobMessage message, std::int32_t count) {
    // The count of a fresh list needs no line: the progress line shows it.
    if (!onTerminal_ || message == JobMessage::Count) {
        return;
    }
    clearLine();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char text[96];
    if (batch_) {
        if (message != JobMessage::Stopped) {
            return;
        }
        std::snprintf(text, sizeof text, "stopped after %d of %d pictures; ", before_ + count,
                      pictures_);
        printText(stderr, text + batchFolder_ + ".pdf not written\n");
        std::fflush(stderr);
        return;
    }
    if (message == JobMessage::Done) {
        std::snprintf(text, sizeof text, "done: %d page%s in %.1f s\n", count,
                      count == 1 ? "" : "s", elapsed);
    } else {
        std::snprintf(text, sizeof text, "stopped after %d of %d pictures; nothing written\n",
                      count, pictures_);
    }
    printText(stderr, text);
    std::fflush(stderr);
}

void TerminalView::showProgressRange(std::int32_t low, std::int32_t high) {
    // The bar runs from low to one past the last picture.
    low_ = low;
    if (batch_) {
        if (!batchStarted_) {
            start_ = std::chrono::steady_clock::now();
            batchStarted_ = true;
        }
        return;
    }
    pictures_ = static_cast<std::int32_t>(std::int64_t{high} - low - 1);
    start_ = std::chrono::steady_clock::now();
}

void TerminalView::continueBatch(const std::string& folder, std::int32_t before,
                                 std::int32_t total) {
    batch_ = true;
    batchFolder_ = folder;
    before_ = before;
    pictures_ = total;
}

void TerminalView::finishBatch(std::int32_t documents, std::int32_t pages, std::int32_t failed) {
    if (!onTerminal_) {
        return;
    }
    clearLine();
    const double elapsed =
        batchStarted_
            ? std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count()
            : 0.0;
    std::fprintf(stderr, "done: %d document%s, %d page%s in %.1f s", documents,
                 documents == 1 ? "" : "s", pages, pages == 1 ? "" : "s", elapsed);
    if (failed > 0) {
        std::fprintf(stderr, "; %d folder%s failed", failed, failed == 1 ? "" : "s");
    }
    std::fprintf(stderr, "\n");
    std::fflush(stderr);
}

void TerminalView::showProgress(std::int32_t position) {
    if (!onTerminal_) {
        return;
    }
    if (position <= low_) {
        clearLine();
    } else {
        drawLine(position - low_);
    }
}

void TerminalView::runPendingEvents() {}

void TerminalView::drawLine(std::int32_t picture) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const std::int32_t done = before_ + picture - 1;
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
    if (picture >= 1 && static_cast<std::size_t>(picture) <= rows_.size()) {
        const std::string& row = rows_[static_cast<std::size_t>(picture) - 1];
        name = printable(batch_ ? batchFolder_ + "/" + nameOf(row) : row);
    }
    // One column stays free: writing the last column makes some terminals
    // wrap, and \r would then redraw only the second line.
    const int room = terminalColumns() - 1 - columnsOf(counts) - columnsOf(speed);
    const std::string line = counts + fitToColumns(name, room > 1 ? room : 1) + speed;
    showStatusLine(line);
    std::fflush(stderr);
    lineShown_ = true;
}

void TerminalView::clearLine() {
    if (lineShown_) {
        clearStatusLine();
        std::fflush(stderr);
        lineShown_ = false;
    }
}

}  // namespace folder2pdf
