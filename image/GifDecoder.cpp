#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "image/Decoders.h"
#include "image/Gray.h"

namespace folder2pdf {
namespace {

constexpr std::uint8_t kWhite = 255;

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
    bool ended;  // a read asked for more than was left
};

// giflib's read callback: a short count tells it the data ended.
int readBytes(GifFileType* gif, GifByteType* out, int count) {
    auto* input = static_cast<Input*>(gif->UserData);
    const auto wanted = static_cast<std::size_t>(std::max(count, 0));
    const std::size_t n = std::min(wanted, input->size - input->position);
    std::memcpy(out, input->data + input->position, n);
    input->position += n;
    input->ended = input->ended || n < wanted;
    return static_cast<int>(n);
}

struct GifCloser {
    GifFileType* gif;
    ~GifCloser() {
        int ignored = 0;
        DGifCloseFile(gif, &ignored);
    }
};

Error gifError(const Input& input, int code) {
    // Whatever giflib calls it ("no screen descriptor detected" for a cut
    // color table, "failed to read"), running out of data is truncation.
    if (input.ended) {
        return Error(ErrorReason::Damaged, "premature end of GIF data");
    }
    const char* text = GifErrorString(code);
    return libraryError(text != nullptr ? text : "error " + std::to_string(code), "GIF");
}

void check(GifFileType* gif, int status) {
    if (status == GIF_ERROR) {
        throw gifError(*static_cast<const Input*>(gif->UserData), gif->Error);
    }
}

// Reads one extension with its sub-blocks. Returns the transparent index of a
// graphics control extension (-1 for none), or `transparent` unchanged for
// any other extension.
int readExtension(GifFileType* gif, int transparent) {
    int code = 0;
    GifByteType* block = nullptr;
    check(gif, DGifGetExtension(gif, &code, &block));
    // block[0] is the sub-block's length, block[1] its flags, block[4] the
    // index; a malformed control block is passed over like an unknown one.
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
        transparent = (block[1] & 0x01) != 0 ? block[4] : -1;
    }
    while (block != nullptr) {
        check(gif, DGifGetExtensionNext(gif, &block));
    }
    return transparent;
}

// Gray level of every possible pixel index. Indices past the color table
// are black, as browsers draw them; the transparent index shows the white
// paper.
void grayLevels(const ColorMapObject& map, int transparent, std::uint8_t (&gray)[256]) {
    for (int i = 0; i < 256; ++i) {
        gray[i] = 0;
    }
    const int count = std::min(map.ColorCount, 256);
    for (int i = 0; i < count; ++i) {
        const GifColorType& color = map.Colors[i];
        gray[i] = grayOf(color.Red, color.Green, color.Blue);
    }
    if (transparent >= 0) {
        gray[transparent] = kWhite;
    }
}

// Decodes the frame's rows onto the screen rows they cover, clipped to the
// screen, with white left and right of the frame.
// `rgbx`, when given, is the colour of every index (as `gray` its level):
// the rows are delivered in colour.
void decodeRows(GifFileType* gif, const std::uint8_t (&gray)[256], const std::uint8_t* rgbx,
                GrayRaster& out) {
    const GifImageDesc& frame = gif->Image;
    const std::int32_t width = out.width();
    const std::int32_t height = out.height();
    // Screen and frame sizes are 16-bit, so these sums can't overflow.
    const std::int32_t left = std::min(frame.Left, width);
    const std::int32_t right = std::max(left, std::min(frame.Left + frame.Width, width));
    Bytes line;
    resizeBytes(line, static_cast<std::size_t>(frame.Width));
    Bytes colorLine;
    if (rgbx) {
        colorLine.assign(4 * static_cast<std::size_t>(width), kWhite);
    }
    const auto readRow = [&](std::int32_t frameRow) {
        check(gif, DGifGetLine(gif, line.data(), frame.Width));
        const std::int32_t y = frame.Top + frameRow;
        if (y >= height) {
            return;
        }
        if (rgbx) {
            for (std::int32_t x = left; x < right; ++x) {
                const std::uint8_t index = line[static_cast<std::size_t>(x - frame.Left)];
                std::memcpy(colorLine.data() + 4 * x, rgbx + 4 * index, 4);
            }
            out.putRgbxRow(y, colorLine.data());
            return;
        }
        std::uint8_t* target = out.row(y);
        std::memset(target, kWhite, static_cast<std::size_t>(left));
        for (std::int32_t x = left; x < right; ++x) {
            target[x] = gray[line[static_cast<std::size_t>(x - frame.Left)]];
        }
        std::memset(target + right, kWhite, static_cast<std::size_t>(width - right));
    };
    if (frame.Interlace) {
        // Rows 0, 8, 16...; then 4, 12...; then 2, 6...; then the odd rows.
        static const std::int32_t start[4] = {0, 4, 2, 1};
        static const std::int32_t step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass) {
            for (std::int32_t row = start[pass]; row < frame.Height; row += step[pass]) {
                readRow(row);
            }
        }
    } else {
        for (std::int32_t row = 0; row < frame.Height; ++row) {
            readRow(row);
        }
    }
}

// Decodes the frame whose descriptor was just read onto the logical screen,
// which `out` already covers: the frame is clipped to the screen, and the
// screen around it is white.
void decodeFrame(GifFileType* gif, int transparent, GrayRaster& out) {
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    if (map == nullptr) {
        throw Error(ErrorReason::Damaged, "GIF: the picture has no color table");
    }
    std::uint8_t gray[256];
    grayLevels(*map, transparent, gray);
    // Kept in colour, a table of colours other than grays gives colour rows,
    // indexed as grayLevels() does.
    std::uint8_t rgbx[256 * 4] = {};
    bool color = false;
    const int count = std::min(map->ColorCount, 256);
    for (int i = 0; out.keepsColor() && i < count; ++i) {
        const GifColorType& entry = map->Colors[i];
        color = color || entry.Red != entry.Green || entry.Green != entry.Blue;
        rgbx[4 * i] = entry.Red;
        rgbx[4 * i + 1] = entry.Green;
        rgbx[4 * i + 2] = entry.Blue;
    }
    if (transparent >= 0) {
        std::memset(rgbx + 4 * transparent, kWhite, 4);
    }

    const std::int32_t width = out.width();
    const std::int32_t height = out.height();
    const bool empty = frame.Width <= 0 || frame.Height <= 0;
    if (!empty) {
        decodeRows(gif, gray, color ? rgbx : nullptr, out);
    }
    // The screen rows that the frame leaves alone are white paper. They are
    // filled last, so that a broken file fails before it touches a large
    // screen.
    Bytes white;
    if (color) {
        white.assign(static_cast<std::size_t>(width), kWhite);
    }
    for (std::int32_t y = 0; y < height; ++y) {
        if (empty || y < frame.Top || y - frame.Top >= frame.Height) {
            if (color) {
                out.putGrayRow(y, white.data());
            } else {
                std::memset(out.row(y), kWhite, static_cast<std::size_t>(width));
            }
        }
    }
}

}  // namespace

bool sniffGif(const std::uint8_t* data, std::size_t size) {
    return size >= 6 &&
           (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
}

void decodeGif(const std::uint8_t* data, std::size_t size, GrayRaster& out) {
    Input input{data, size, 0, false};
    int code = 0;
    GifFileType* gif = DGifOpen(&input, readBytes, &code);
    if (gif == nullptr) {
        throw gifError(input, code);
    }
    GifCloser closer{gif};
    // The logical screen is the picture; the first frame is drawn on it.
    out.begin(gif->SWidth, gif->SHeight);

    // Records are read one by one up to the first image only: the frames
    // after it are never decoded.
    int transparent = -1;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        check(gif, DGifGetRecordType(gif, &type));
        switch (type) {
            case EXTENSION_RECORD_TYPE:
                transparent = readExtension(gif, transparent);
                break;
            case IMAGE_DESC_RECORD_TYPE:
                check(gif, DGifGetImageDesc(gif));
                decodeFrame(gif, transparent, out);
                return;
            default:
                throw Error(ErrorReason::Damaged, "GIF: the file has no image");
        }
    }
}

}  // namespace folder2pdf
