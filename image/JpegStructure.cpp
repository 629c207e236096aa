#include "image/JpegStructure.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>

#include "common/Error.h"
#include "image/GrayRaster.h"

namespace folder2pdf {

// ---------------------------------------------------------------------------
// EXIF

namespace {

// Reads of the TIFF file inside an EXIF block, each checked against its size.
struct Tiff {
    const std::uint8_t* data;
    std::size_t size;
    bool bigEndian;

    bool has(std::size_t at, std::size_t count) const { return at <= size && count <= size - at; }
    std::uint32_t u16(std::size_t at) const {
        return bigEndian ? data[at] << 8 | data[at + 1] : data[at + 1] << 8 | data[at];
    }
    std::uint32_t u32(std::size_t at) const {
        return bigEndian ? u16(at) << 16 | u16(at + 2) : u16(at + 2) << 16 | u16(at);
    }
};

constexpr std::uint32_t kTiffShort = 3;
constexpr std::uint32_t kTiffAscii = 2;
constexpr std::uint32_t kTiffLong = 4;
constexpr std::uint32_t kTiffIfd = 13;

// The offset of the first 12-byte entry of `tag` in the directory at
// `directory`, or 0 (no entry starts there) when the directory has none
// before its entries leave the block.
std::size_t findEntry(const Tiff& tiff, std::size_t directory, std::uint32_t tag) {
    if (!tiff.has(directory, 2)) {
        return 0;
    }
    const std::size_t entries = tiff.u16(directory);
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t entry = directory + 2 + 12 * i;
        if (!tiff.has(entry, 12)) {
            return 0;
        }
        if (tiff.u16(entry) == tag) {
            return entry;
        }
    }
    return 0;
}

// One SHORT of 1 to 8; the decoder has always let a first entry of another
// shape mean "as stored", and so does this.
int orientationOf(const Tiff& tiff, std::size_t entry) {
    if (entry == 0 || tiff.u16(entry + 2) != kTiffShort || tiff.u32(entry + 4) != 1) {
        return 1;
    }
    const std::uint32_t value = tiff.u16(entry + 8);
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
}

bool isDigits(const char* text, int count) {
    return std::all_of(text, text + count, [](char c) { return c >= '0' && c <= '9'; });
}

int numberAt(const char* text, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// "YYYY:MM:DD HH:MM:SS" with each field in range, or empty.
std::string checkedDateTime(const char* text) {
    static const char shape[] = "dddd:dd:dd dd:dd:dd";
    for (int i = 0; i < 19; ++i) {
        if (shape[i] == 'd' ? !isDigits(text + i, 1) : text[i] != shape[i]) {
            return {};
        }
    }
    const int month = numberAt(text + 5, 2), day = numberAt(text + 8, 2);
    const int hour = numberAt(text + 11, 2), minute = numberAt(text + 14, 2);
    const int second = numberAt(text + 17, 2);
    if (numberAt(text, 4) == 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
        minute > 59 || second > 60) {
        return {};
    }
    return std::string(text, 19);
}

std::string dateTimeOriginalOf(const Tiff& tiff, std::size_t exifPointer) {
    if (exifPointer == 0) {
        return {};
    }
    const std::uint32_t type = tiff.u16(exifPointer + 2);
    if ((type != kTiffLong && type != kTiffIfd) || tiff.u32(exifPointer + 4) != 1) {
        return {};
    }
    const std::size_t entry = findEntry(tiff, tiff.u32(exifPointer + 8), 0x9003);
    // 19 characters and the terminating zero, which some cameras leave out;
    // more than 4 bytes, so always stored at an offset.
    if (entry == 0 || tiff.u16(entry + 2) != kTiffAscii || tiff.u32(entry + 4) < 19) {
        return {};
    }
    const std::size_t text = tiff.u32(entry + 8);
    if (!tiff.has(text, 19)) {
        return {};
    }
    return checkedDateTime(reinterpret_cast<const char*>(tiff.data + text));
}

}  // namespace

ExifFacts readExif(const std::uint8_t* data, std::size_t size) {
    ExifFacts facts;
    if (size < 8) {
        return facts;
    }
    const bool bigEndian = data[0] == 'M' && data[1] == 'M';
    if (!bigEndian && !(data[0] == 'I' && data[1] == 'I')) {
        return facts;
    }
    const Tiff tiff{data, size, bigEndian};
    if (tiff.u16(2) != 42) {
        return facts;
    }
    const std::size_t first = tiff.u32(4);
    facts.orientation = orientationOf(tiff, findEntry(tiff, first, 0x0112));
    facts.dateTimeOriginal = dateTimeOriginalOf(tiff, findEntry(tiff, first, 0x8769));
    return facts;
}

ExifFacts readPictureExif(const std::uint8_t* data, std::size_t size) {
    if (size >= 4 && ((data[0] == 'I' && data[1] == 'I' && data[2] == 42 && data[3] == 0) ||
                      (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 42))) {
        return readExif(data, size);
    }
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        return {};
    }
    // Segments up to the first scan; fill bytes (0xFF) may pad a marker.
    std::size_t at = 2;
    while (at + 4 <= size && data[at] == 0xFF) {
        const int marker = data[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) {
            break;
        }
        const std::size_t length = std::size_t{data[at + 2]} << 8 | data[at + 3];
        if (length < 2 || length > size - at - 2) {
            break;
        }
        const std::uint8_t* body = data + at + 4;
        if (marker == 0xE1 && length >= 8 && std::memcmp(body, "Exif\0\0", 6) == 0) {
            return readExif(body + 6, length - 8);
        }
        at += 2 + length;
    }
    return {};
}

// ---------------------------------------------------------------------------
// JPEG

namespace {

// Where libjpeg-turbo, as the decoder runs it, stops: the decoder's limits.
constexpr int kMaxScans = 500;
constexpr std::uint32_t kMaxDimension = 65500;
constexpr int kMaxBlocksInMcu = 10;

constexpr int kSOF0 = 0xC0, kDHT = 0xC4, kJPG = 0xC8, kDAC = 0xCC, kRST0 = 0xD0, kRST7 = 0xD7,
              kSOI = 0xD8, kEOI = 0xD9, kSOS = 0xDA, kDQT = 0xDB, kDNL = 0xDC, kDRI = 0xDD,
              kDHP = 0xDE, kEXP = 0xDF, kAPP0 = 0xE0, kAPP1 = 0xE1, kAPP2 = 0xE2, kAPP14 = 0xEE,
              kAPP15 = 0xEF, kCOM = 0xFE, kTEM = 0x01;

const char* const kCutShort = "the file ends in the middle of the picture";

// SOF0 to SOF15 but for DHT, JPG (reserved, refused as unknown) and DAC.
bool isFrameMarker(int marker) {
    return marker >= kSOF0 && marker <= kSOF0 + 15 && marker != kDHT && marker != kJPG &&
           marker != kDAC;
}

[[noreturn]] void damaged(const std::string& reason) {
    throw Error(ErrorReason::Damaged, "JPEG: " + reason);
}

std::string hex(int value) {
    static const char digits[] = "0123456789abcdef";
    return std::string("0x") + digits[value >> 4 & 15] + digits[value & 15];
}

// libjpeg's next_marker from `at`: skips bytes up to 0xFF (a fault the
// decoder forgives, which makes the file untidy), 0xFF fill bytes and 0xFF
// 0x00; returns the marker and leaves `at` past it.
int findMarker(const std::uint8_t* data, std::size_t size, std::size_t& at, bool& tidy) {
    for (;;) {
        while (at < size && data[at] != 0xFF) {
            ++at;
            tidy = false;
        }
        while (at < size && data[at] == 0xFF) {
            ++at;
        }
        if (at >= size) {
            damaged(kCutShort);
        }
        if (data[at++] != 0) {
            return data[at - 1];
        }
        tidy = false;
    }
}

// A Huffman table as the file defines it, and the decoding tables libjpeg
// derives from it when a scan starts (jpeg_make_d_derived_tbl).
struct HuffmanTable {
    bool defined = false;
    std::uint8_t counts[17] = {};  // codes of each length 1 to 16
    std::uint8_t values[256] = {};
};

constexpr int kLookahead = 9;

struct HuffmanDecoder {
    std::int32_t maxCode[18];
    std::int32_t valueOffset[18];
    const std::uint8_t* values;
    // For the next kLookahead bits: the code's length << 8 | its value, or 0
    // when no code that short starts with them.
    std::uint16_t lookup[1 << kLookahead];
};

void deriveDecoder(const HuffmanTable& table, bool dc, HuffmanDecoder& decoder) {
    const char* const reason = "the picture's Huffman table is damaged";
    std::uint8_t lengths[257];
    std::uint32_t codes[257];
    int count = 0;
    for (int length = 1; length <= 16; ++length) {
        if (count + table.counts[length] > 256) {
            damaged(reason);
        }
        std::fill_n(lengths + count, table.counts[length], static_cast<std::uint8_t>(length));
        count += table.counts[length];
    }
    lengths[count] = 0;
    // Canonical codes; a length's codes must fit in its bits, the all-ones
    // code being reserved.
    std::uint32_t code = 0;
    for (int p = 0, length = lengths[0]; lengths[p] != 0; ++length) {
        while (lengths[p] == length) {
            codes[p++] = code++;
        }
        if (code >= std::uint32_t{1} << length) {
            damaged(reason);
        }
        code <<= 1;
    }
    std::fill(std::begin(decoder.lookup), std::end(decoder.lookup), 0);
    for (int p = 0, length = 1; length <= 16; ++length) {
        const int n = table.counts[length];
        if (n == 0) {
            decoder.maxCode[length] = -1;
            continue;
        }
        decoder.valueOffset[length] = p - static_cast<std::int32_t>(codes[p]);
        for (int i = p; i < p + n && length <= kLookahead; ++i) {
            const int shift = kLookahead - length;
            std::fill(decoder.lookup + (codes[i] << shift),
                      decoder.lookup + ((codes[i] + 1) << shift),
                      static_cast<std::uint16_t>(length << 8 | table.values[i]));
        }
        p += n;
        decoder.maxCode[length] = static_cast<std::int32_t>(codes[p - 1]);
    }
    decoder.maxCode[17] = 0xFFFFF;  // ends the search for a code at 17 bits
    decoder.valueOffset[17] = 0;
    decoder.values = table.values;
    if (dc && std::any_of(table.values, table.values + count, [](int v) { return v > 15; })) {
        damaged(reason);
    }
}

// The entropy-coded data of one scan as libjpeg reads it: bytes up to the
// next marker, 0xFF 0x00 standing for 0xFF. A bit wanted beyond the marker
// is the decoder's "premature end of data segment".
class BitReader {
  public:
    BitReader(const std::uint8_t* data, std::size_t size, std::size_t position)
        : data_(data), size_(size), position_(position) {}

    std::uint32_t bits(int count) {
        if (count_ < count) {
            fill();
            if (count_ < count) {
                damaged("the picture's data is damaged (it ends early)");
            }
        }
        count_ -= count;
        return static_cast<std::uint32_t>(buffer_ >> count_) & ((std::uint32_t{1} << count) - 1);
    }

    int decode(const HuffmanDecoder& decoder) {
        if (count_ < kLookahead) {
            fill();
        }
        int length = 1;
        std::int32_t code;
        if (count_ >= kLookahead) {
            const auto look =
                static_cast<unsigned>(buffer_ >> (count_ - kLookahead)) & ((1u << kLookahead) - 1);
            const int entry = decoder.lookup[look];
            if (entry != 0) {
                count_ -= entry >> 8;
                return entry & 0xFF;
            }
            length = kLookahead + 1;
            code = static_cast<std::int32_t>(bits(length));
        } else {
            code = static_cast<std::int32_t>(bits(1));
        }
        // Codes longer than the lookahead, and every code near a marker,
        // bit by bit as jpeg_huff_decode does.
        for (; code > decoder.maxCode[length]; ++length) {
            code = code << 1 | static_cast<std::int32_t>(bits(1));
        }
        if (length > 16) {
            damaged("the picture's data is damaged (a Huffman code no table has)");
        }
        return decoder.values[(code + decoder.valueOffset[length]) & 0xFF];
    }

    // Drops what is left of the current byte and reads the restart marker
    // that must follow, RST0 + `number`.
    void restart(int number, bool& tidy) {
        buffer_ = 0;
        count_ = 0;
        std::size_t at = marker_ ? marker_ : position_;
        const int marker = findMarker(data_, size_, at, tidy);
        if (marker != kRST0 + number) {
            damaged("the picture's data is damaged (restart marker " + std::to_string(number) +
                    " is missing)");
        }
        position_ = at;
        marker_ = 0;
    }

    // Where the markers after the scan start: the marker that ended the
    // data, or the first byte the decoder may not have read.
    std::size_t end() const { return marker_ ? marker_ : position_; }

  private:
    void fill() {
        while (count_ <= 56 && marker_ == 0) {
            if (position_ >= size_) {
                damaged(kCutShort);
            }
            std::uint8_t byte = data_[position_];
            if (byte == 0xFF) {
                std::size_t next = position_ + 1;
                while (next < size_ && data_[next] == 0xFF) {
                    ++next;
                }
                if (next >= size_) {
                    damaged(kCutShort);
                }
                if (data_[next] != 0) {
                    marker_ = position_;
                    return;
                }
                position_ = next + 1;
            } else {
                ++position_;
            }
            buffer_ = buffer_ << 8 | byte;
            count_ += 8;
        }
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_;
    std::size_t marker_ = 0;  // where the marker that ends the data starts, once seen
    std::uint64_t buffer_ = 0;
    int count_ = 0;
};

// A coefficient's value from its bits, as the JPEG standard's EXTEND.
std::int32_t extend(std::uint32_t bits, int size) {
    return bits < (std::uint32_t{1} << (size - 1))
               ? static_cast<std::int32_t>(bits) - (std::int32_t{1} << size) + 1
               : static_cast<std::int32_t>(bits);
}

struct Component {
    int id = 0;
    int h = 1, v = 1;  // sampling factors
    int quantTable = 0;
    int dcTable = 0, acTable = 0;  // of the current scan
    bool quantLatched = false;
    std::uint32_t widthInBlocks = 0, heightInBlocks = 0;
    std::size_t firstBlock = 0;           // in the nonzero masks
    std::array<int, 64> coefficientBits;  // the last scan's Al for each, -1 before any
};

struct Scan {
    int count = 0;
    std::array<int, 4> components = {};  // indices into the frame's components
    int ss = 0, se = 0, ah = 0, al = 0;
};

// One walk over one file: the state libjpeg keeps between markers.
class Walk {
  public:
    Walk(const std::uint8_t* data, std::size_t size, std::vector<std::uint64_t>& nonzero,
         JpegEntropyCheck check)
        : data_(data), size_(size), nonzero_(nonzero), check_(check) {}

    JpegFacts run();

  private:
    std::uint8_t byte() {
        if (position_ >= size_) {
            damaged(kCutShort);
        }
        return data_[position_++];
    }
    std::uint32_t u16() {
        const std::uint32_t high = byte();
        return high << 8 | byte();
    }
    int nextMarker() { return findMarker(data_, size_, position_, tidy_); }
    // The bytes of a segment the walk doesn't parse, which must lie in the file.
    const std::uint8_t* skipSegment(std::size_t& length);

    void readFrame(int marker);
    void readHuffmanTables();
    void readQuantTables();
    void readRestartInterval();
    void readArithmeticConditioning();
    void readApplication(int marker);
    void readScan();
    void startFirstScan();
    std::uint64_t layComponents(std::uint64_t& blocks);
    bool isCandidate(std::uint64_t coefficientBytes) const;
    void checkScan();
    void walkEntropyData();
    void skipEntropyData();
    std::uint64_t layMcus(std::array<int, kMaxBlocksInMcu>& blockComponent, int& blocks) const;
    const HuffmanDecoder& decoderOf(int i, bool dc, HuffmanDecoder (&decoders)[8],
                                    bool (&derived)[8]) const;
    void restartIfDue(BitReader& reader, std::uint32_t& toGo, int& nextRestart);
    void walkSequential(BitReader& reader);
    void walkProgressive(BitReader& reader);
    void finishFacts();

    bool decodableSequential() const {
        return process_ == kSOF0 || process_ == kSOF0 + 1 || process_ == kSOF0 + 9;
    }
    bool progressive() const { return process_ == kSOF0 + 2 || process_ == kSOF0 + 10; }
    bool lossless() const { return process_ == kSOF0 + 3 || process_ == kSOF0 + 11; }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
    std::vector<std::uint64_t>& nonzero_;
    JpegEntropyCheck check_;
    JpegFacts facts_;

    int process_ = -1;  // the SOFn marker
    bool hierarchical_ = false;
    int precision_ = 0;
    std::uint32_t width_ = 0, height_ = 0;
    std::vector<Component> components_;
    int maxH_ = 1, maxV_ = 1;
    HuffmanTable dcTables_[4], acTables_[4];
    bool quantDefined_[4] = {};
    std::uint32_t restartInterval_ = 0;
    Scan scan_;
    bool multipleScans_ = false;
    // Whether the entropy data is walked as the decoder reads it: a picture
    // the decoder takes, coded in a way a PDF reader is trusted to show.
    bool candidate_ = false;
    bool tidy_ = true;  // nothing a reader might take differently from the decoder
    std::vector<std::vector<std::uint8_t>> iccChunks_;  // indexed by sequence number
    std::vector<bool> iccSeen_;
    int iccCount_ = 0;
    bool iccConsistent_ = true;
    bool exifSeen_ = false;
};

const std::uint8_t* Walk::skipSegment(std::size_t& length) {
    length = u16();
    // libjpeg reads a length below 2 as an empty segment.
    if (length < 2) {
        tidy_ = false;
        length = 0;
        return data_ + position_;
    }
    length -= 2;
    if (length > size_ - position_) {
        damaged(kCutShort);
    }
    const std::uint8_t* bytes = data_ + position_;
    position_ += length;
    return bytes;
}

void Walk::readFrame(int marker) {
    const bool first = process_ < 0;
    if (first) {
        process_ = marker;
        hierarchical_ =
            hierarchical_ || (marker >= kSOF0 + 5 && marker <= kSOF0 + 7) || marker >= kSOF0 + 13;
    } else if (!hierarchical_) {
        damaged("the picture has two frame headers");
    }
    const std::uint32_t length = u16();
    const int precision = byte();
    const std::uint32_t height = u16(), width = u16();
    const int count = byte();
    if (height == 0 || width == 0 || count == 0) {
        damaged("the picture has no pixels (" + std::to_string(width) + " x " +
                std::to_string(height) + ", " + std::to_string(count) + " components)");
    }
    if (length != 8 + 3 * static_cast<std::uint32_t>(count)) {
        damaged("the picture's frame header is damaged (its length is wrong)");
    }
    std::vector<Component> components(static_cast<std::size_t>(count));
    for (Component& component : components) {
        component.id = byte();
        const int sampling = byte();
        component.h = sampling >> 4;
        component.v = sampling & 15;
        component.quantTable = byte();
        component.coefficientBits.fill(-1);
    }
    if (first) {
        precision_ = precision;
        width_ = width;
        height_ = height;
        components_ = std::move(components);
    }
}

void Walk::readHuffmanTables() {
    const char* const reason = "the picture's Huffman table is damaged";
    std::int32_t length = static_cast<std::int32_t>(u16()) - 2;
    while (length > 16) {
        int index = byte();
        HuffmanTable table;
        int count = 0;
        for (int i = 1; i <= 16; ++i) {
            table.counts[i] = byte();
            count += table.counts[i];
        }
        length -= 17;
        if (count > 256 || count > length) {
            damaged(reason);
        }
        for (int i = 0; i < count; ++i) {
            table.values[i] = byte();
        }
        length -= count;
        const bool ac = index & 0x10;
        index &= ~0x10;
        if (index >= 4) {
            damaged(reason + std::string(" (table number ") + std::to_string(index) + ")");
        }
        table.defined = true;
        (ac ? acTables_ : dcTables_)[index] = table;
    }
    if (length != 0) {
        damaged("the picture's Huffman table is damaged (its length is wrong)");
    }
}

void Walk::readQuantTables() {
    std::int32_t length = static_cast<std::int32_t>(u16()) - 2;
    while (length > 0) {
        const int header = byte();
        const int index = header & 15;
        const int bytes = header >> 4 ? 128 : 64;
        if (index >= 4) {
            damaged("the picture's quantization table is damaged (table number " +
                    std::to_string(index) + ")");
        }
        for (int i = 0; i < bytes; ++i) {
            byte();
        }
        quantDefined_[index] = true;
        length -= 1 + bytes;
    }
    if (length != 0) {
        damaged("the picture's quantization table is damaged (its length is wrong)");
    }
}

void Walk::readRestartInterval() {
    if (u16() != 4) {
        damaged("the picture's restart interval is damaged (its length is wrong)");
    }
    restartInterval_ = u16();
}

void Walk::readArithmeticConditioning() {
    std::int32_t length = static_cast<std::int32_t>(u16()) - 2;
    while (length > 0) {
        const int index = byte();
        const int value = byte();
        length -= 2;
        // 16 DC slots, whose lower bound must not pass the upper, then 16 AC.
        if (index >= 32 || (index < 16 && (value & 15) > (value >> 4))) {
            damaged("the picture's arithmetic coding table is damaged");
        }
    }
    if (length != 0) {
        damaged("the picture's arithmetic coding table is damaged (its length is wrong)");
    }
}

void Walk::readApplication(int marker) {
    std::size_t length;
    const std::uint8_t* bytes = skipSegment(length);
    if (facts_.scans > 0) {
        // The decoder settled the colors with the first scan.
        tidy_ = tidy_ && marker != kAPP0 && marker != kAPP14;
        return;
    }
    if (marker == kAPP0 && length >= 14 && std::memcmp(bytes, "JFIF", 5) == 0) {
        facts_.jfif = true;
    } else if (marker == kAPP14 && length >= 12 && std::memcmp(bytes, "Adobe", 5) == 0) {
        facts_.adobe = true;
        facts_.adobeTransform = bytes[11];
    } else if (marker == kAPP1 && !exifSeen_ && length >= 6 + 8 &&
               std::memcmp(bytes, "Exif\0\0", 6) == 0) {
        exifSeen_ = true;
        facts_.exif = readExif(bytes + 6, length - 6);
    } else if (marker == kAPP2 && length >= 14 && std::memcmp(bytes, "ICC_PROFILE", 12) == 0) {
        const int number = bytes[12], count = bytes[13];
        if (iccCount_ == 0) {
            iccCount_ = count;
            iccChunks_.assign(static_cast<std::size_t>(count) + 1, {});
            iccSeen_.assign(static_cast<std::size_t>(count) + 1, false);
        }
        const auto at = static_cast<std::size_t>(number);
        if (count != iccCount_ || number == 0 || number > count || iccSeen_[at]) {
            iccConsistent_ = false;
            return;
        }
        iccSeen_[at] = true;
        iccChunks_[at].assign(bytes + 14, bytes + length);
    }
}

void Walk::readScan() {
    if (process_ < 0) {
        damaged("the picture's data comes before its frame header");
    }
    const std::uint32_t length = u16();
    const int count = byte();
    if (length != 6 + 2 * static_cast<std::uint32_t>(count) || count < 1 || count > 4) {
        damaged("the picture's scan header is damaged (its length is wrong)");
    }
    scan_.count = count;
    // libjpeg's own search, quirk included: the component of that id among
    // the first four whose index is not below the position in the scan, and
    // not listed already.
    const int searchable = std::min<int>(static_cast<int>(components_.size()), 4);
    for (int i = 0; i < count; ++i) {
        const int id = byte();
        const int tables = byte();
        int found = -1;
        for (int c = i; c < searchable && found < 0; ++c) {
            if (components_[static_cast<std::size_t>(c)].id == id) {
                found = c;
            }
        }
        const auto listed = scan_.components.begin();
        if (found < 0 || std::find(listed, listed + i, found) != listed + i) {
            damaged("the picture's scan header is damaged (component " + std::to_string(id) + ")");
        }
        scan_.components[static_cast<std::size_t>(i)] = found;
        Component& component = components_[static_cast<std::size_t>(found)];
        component.dcTable = tables >> 4;
        component.acTable = tables & 15;
    }
    scan_.ss = byte();
    scan_.se = byte();
    const int approximation = byte();
    scan_.ah = approximation >> 4;
    scan_.al = approximation & 15;
    if (++facts_.scans > kMaxScans) {
        damaged("too many scans (more than 500)");
    }
    if (facts_.scans == 1) {
        startFirstScan();
    } else if (decodableSequential() && !multipleScans_) {
        damaged("the picture's data goes on after its only scan");
    }
    checkScan();
}

// What libjpeg checks once the header is read (initial_setup), and what
// decides whether the entropy data is walked bit by bit.
void Walk::startFirstScan() {
    if (width_ > kMaxDimension || height_ > kMaxDimension) {
        throw Error(ErrorReason::TooLarge, "picture too large: " + std::to_string(width_) + " x " +
                                               std::to_string(height_) +
                                               " pixels pass the decoder's limit of 65500");
    }
    for (const Component& component : components_) {
        if (component.h < 1 || component.h > 4 || component.v < 1 || component.v > 4) {
            damaged("the picture's frame header is damaged (sampling factors)");
        }
        maxH_ = std::max(maxH_, component.h);
        maxV_ = std::max(maxV_, component.v);
    }
    std::uint64_t blocks = 0;
    const std::uint64_t coefficientBytes = layComponents(blocks);
    multipleScans_ = scan_.count < static_cast<int>(components_.size()) || progressive();
    candidate_ = isCandidate(coefficientBytes);
    if (candidate_ && progressive() && check_ == JpegEntropyCheck::Huffman) {
        try {
            nonzero_.resize(static_cast<std::size_t>(blocks));
        } catch (const std::bad_alloc&) {
            throw Error(ErrorReason::OutOfMemory,
                        "out of memory (" + std::to_string(blocks * 8) + " bytes)");
        }
        std::fill(nonzero_.begin(), nonzero_.end(), 0);
    }
}

// Each component's size in 8 x 8 blocks and its place among the masks;
// `blocks` is their sum. Returns the bytes of coefficients the decoder holds
// for a picture of several scans: whole MCUs, 128 bytes a block.
std::uint64_t Walk::layComponents(std::uint64_t& blocks) {
    const auto divideUp = [](std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; };
    std::uint64_t coefficientBytes = 0;
    for (Component& component : components_) {
        const auto h = static_cast<std::uint64_t>(component.h);
        const auto v = static_cast<std::uint64_t>(component.v);
        component.widthInBlocks = static_cast<std::uint32_t>(
            divideUp(std::uint64_t{width_} * h, 8 * static_cast<std::uint64_t>(maxH_)));
        component.heightInBlocks = static_cast<std::uint32_t>(
            divideUp(std::uint64_t{height_} * v, 8 * static_cast<std::uint64_t>(maxV_)));
        component.firstBlock = static_cast<std::size_t>(blocks);
        blocks += std::uint64_t{component.widthInBlocks} * component.heightInBlocks;
        coefficientBytes += divideUp(component.widthInBlocks, h) * h *
                            divideUp(component.heightInBlocks, v) * v * 128;
    }
    return coefficientBytes;
}

// A picture the decoder takes, coded as PDF readers are trusted to show.
// Past the decoder's own size limits the decoder refuses the file: not for
// the walk to give that verdict.
bool Walk::isCandidate(std::uint64_t coefficientBytes) const {
    const auto count = components_.size();
    bool integralSampling = true;
    for (const Component& component : components_) {
        integralSampling = integralSampling && maxH_ % component.h == 0 && maxV_ % component.v == 0;
    }
    const bool huffman = process_ == kSOF0 || process_ == kSOF0 + 1 || process_ == kSOF0 + 2;
    if (hierarchical_ || !huffman || precision_ != 8 || !(count == 1 || count == 3 || count == 4) ||
        !integralSampling) {
        return false;
    }
    try {
        GrayRaster::checkSize(static_cast<std::int32_t>(width_),
                              static_cast<std::int32_t>(height_));
    } catch (const Error&) {
        return false;
    }
    if (multipleScans_ && coefficientBytes > static_cast<std::uint64_t>(INT32_MAX)) {
        return false;
    }
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // As GrayRaster does: large pictures of few bytes take the same paths as
    // small ones, a thousand times slower.
    if (std::uint64_t{width_} * height_ > (1u << 20)) {
        return false;
    }
#endif
    return true;
}

// The per-scan checks of libjpeg (per_scan_setup, latch_quant_tables and the
// entropy decoders' start_pass) that make it refuse a file.
void Walk::checkScan() {
    if (hierarchical_ || lossless()) {
        return;
    }
    int blocksInMcu = 0;
    for (int i = 0; i < scan_.count && scan_.count > 1; ++i) {
        const Component& component = components_[static_cast<std::size_t>(scan_.components[i])];
        blocksInMcu += component.h * component.v;
        if (blocksInMcu > kMaxBlocksInMcu) {
            damaged("the picture's scan header is damaged (more than 10 blocks in an MCU)");
        }
    }
    for (int i = 0; i < scan_.count; ++i) {
        Component& component = components_[static_cast<std::size_t>(scan_.components[i])];
        if (!component.quantLatched) {
            if (component.quantTable >= 4 || !quantDefined_[component.quantTable]) {
                damaged("the picture's quantization table " + std::to_string(component.quantTable) +
                        " is missing");
            }
            component.quantLatched = true;
        }
    }
    if (progressive()) {
        const bool dc = scan_.ss == 0;
        const bool bad =
            (dc ? scan_.se != 0 : scan_.ss > scan_.se || scan_.se > 63 || scan_.count != 1) ||
            (scan_.ah != 0 && scan_.al != scan_.ah - 1) || scan_.al > 13;
        if (bad) {
            damaged("the picture's scan header is damaged (progression " +
                    std::to_string(scan_.ss) + "-" + std::to_string(scan_.se) + ", " +
                    std::to_string(scan_.ah) + "/" + std::to_string(scan_.al) + ")");
        }
        // An order of scans libjpeg only warns about: readers may differ.
        for (int i = 0; i < scan_.count; ++i) {
            Component& component = components_[static_cast<std::size_t>(scan_.components[i])];
            if (!dc && component.coefficientBits[0] < 0) {
                tidy_ = false;
            }
            for (int k = scan_.ss; k <= scan_.se; ++k) {
                if (scan_.ah != std::max(component.coefficientBits[k], 0)) {
                    tidy_ = false;
                }
                component.coefficientBits[k] = scan_.al;
            }
        }
    } else if (scan_.ss != 0 || scan_.se != 63 || scan_.ah != 0 || scan_.al != 0) {
        tidy_ = false;
    }
}

void Walk::skipEntropyData() {
    for (;;) {
        if (position_ >= size_) {
            damaged(kCutShort);
        }
        if (data_[position_] != 0xFF) {
            const void* mark = std::memchr(data_ + position_, 0xFF, size_ - position_);
            position_ = mark ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(mark) - data_)
                             : size_;
            continue;
        }
        std::size_t next = position_ + 1;
        while (next < size_ && data_[next] == 0xFF) {
            ++next;
        }
        if (next >= size_) {
            damaged(kCutShort);
        }
        const int code = data_[next];
        if (code != 0 && (code < kRST0 || code > kRST7)) {
            return;
        }
        position_ = next + 1;
    }
}

void Walk::walkEntropyData() {
    if (candidate_ && check_ == JpegEntropyCheck::Markers) {
        // Unwalked, every table a scan codes with must still be there: the
        // decoder refuses a progressive scan without one, and fills in the
        // standard ones for a sequential file, as readers don't.
        for (int i = 0; i < scan_.count; ++i) {
            const Component& component = components_[static_cast<std::size_t>(scan_.components[i])];
            const bool dc = scan_.ss == 0 && scan_.ah == 0;
            const bool ac = scan_.se > 0;
            if ((dc && (component.dcTable > 3 || !dcTables_[component.dcTable].defined)) ||
                (ac && (component.acTable > 3 || !acTables_[component.acTable].defined))) {
                candidate_ = false;
            }
        }
        skipEntropyData();
        return;
    }
    if (candidate_ && !progressive()) {
        // libjpeg fills in the standard tables where a sequential file
        // (Motion JPEG) has none; PDF readers don't.
        for (int i = 0; i < scan_.count; ++i) {
            const Component& component = components_[static_cast<std::size_t>(scan_.components[i])];
            if ((component.dcTable < 2 && !dcTables_[component.dcTable].defined) ||
                (component.acTable < 2 && !acTables_[component.acTable].defined)) {
                candidate_ = false;
            }
        }
    }
    if (!candidate_) {
        skipEntropyData();
        return;
    }
    BitReader reader(data_, size_, position_);
    if (progressive()) {
        walkProgressive(reader);
    } else {
        walkSequential(reader);
    }
    position_ = reader.end();
}

// The MCUs of the current scan: how many, and which scan component each of
// an MCU's blocks belongs to (libjpeg's per_scan_setup). A scan of one
// component codes its blocks one by one, without the padding to whole MCUs.
std::uint64_t Walk::layMcus(std::array<int, kMaxBlocksInMcu>& blockComponent, int& blocks) const {
    if (scan_.count == 1) {
        const Component& component = components_[static_cast<std::size_t>(scan_.components[0])];
        blockComponent[0] = 0;
        blocks = 1;
        return std::uint64_t{component.widthInBlocks} * component.heightInBlocks;
    }
    blocks = 0;
    for (int i = 0; i < scan_.count; ++i) {
        const Component& component = components_[static_cast<std::size_t>(scan_.components[i])];
        for (int b = 0; b < component.h * component.v; ++b) {
            blockComponent[static_cast<std::size_t>(blocks++)] = i;
        }
    }
    const std::uint64_t mcuWidth = 8 * static_cast<std::uint64_t>(maxH_);
    const std::uint64_t mcuHeight = 8 * static_cast<std::uint64_t>(maxV_);
    return (width_ + mcuWidth - 1) / mcuWidth * ((height_ + mcuHeight - 1) / mcuHeight);
}

// The decoding table of scan component `i` (DC or AC), which the file must
// define (libjpeg's "Huffman table 0x.. was not defined" otherwise).
const HuffmanDecoder& Walk::decoderOf(int i, bool dc, HuffmanDecoder (&decoders)[8],
                                      bool (&derived)[8]) const {
    const Component& component = components_[static_cast<std::size_t>(scan_.components[i])];
    const int index = dc ? component.dcTable : component.acTable;
    if (index >= 4 || !(dc ? dcTables_ : acTables_)[index].defined) {
        damaged("the picture's Huffman table " + std::to_string(index) + " is missing");
    }
    const int slot = (dc ? 0 : 4) + index;
    if (!derived[slot]) {
        deriveDecoder((dc ? dcTables_ : acTables_)[index], dc, decoders[slot]);
        derived[slot] = true;
    }
    return decoders[slot];
}

// Reads the restart marker due before the next MCU, if one is; `toGo`
// counts the MCUs left before it.
void Walk::restartIfDue(BitReader& reader, std::uint32_t& toGo, int& nextRestart) {
    if (restartInterval_ != 0 && toGo == 0) {
        reader.restart(nextRestart, tidy_);
        nextRestart = (nextRestart + 1) & 7;
        toGo = restartInterval_;
    }
}

// One block of a sequential scan (libjpeg's decode_mcu_slow).
void walkSequentialBlock(BitReader& reader, const HuffmanDecoder& dc, const HuffmanDecoder& ac) {
    const int size = reader.decode(dc);
    if (size != 0) {
        reader.bits(size);
    }
    for (int k = 1; k < 64; ++k) {
        const int symbol = reader.decode(ac);
        const int run = symbol >> 4, bits = symbol & 15;
        if (bits != 0) {
            k += run;
            reader.bits(bits);
        } else if (run == 15) {
            k += 15;
        } else {
            break;
        }
    }
}

void Walk::walkSequential(BitReader& reader) {
    HuffmanDecoder decoders[8];
    bool derived[8] = {};
    std::array<int, kMaxBlocksInMcu> blockComponent;
    int blocks;
    const std::uint64_t mcus = layMcus(blockComponent, blocks);
    std::array<const HuffmanDecoder*, kMaxBlocksInMcu> dcOf, acOf;
    for (int b = 0; b < blocks; ++b) {
        const auto at = static_cast<std::size_t>(b);
        dcOf[at] = &decoderOf(blockComponent[at], true, decoders, derived);
        acOf[at] = &decoderOf(blockComponent[at], false, decoders, derived);
    }
    std::uint32_t toGo = restartInterval_;
    int nextRestart = 0;
    for (std::uint64_t mcu = 0; mcu < mcus; ++mcu) {
        restartIfDue(reader, toGo, nextRestart);
        for (std::size_t b = 0; b < static_cast<std::size_t>(blocks); ++b) {
            walkSequentialBlock(reader, *dcOf[b], *acOf[b]);
        }
        --toGo;
    }
}

// Bit `k` of a block's mask: zigzag position k, where libjpeg's natural-
// order table sends the positions past 63 that a run can reach.
std::uint64_t zigzagBit(int k) {
    return std::uint64_t{1} << std::min(k, 63);
}

// One block of a first AC scan (decode_mcu_AC_first) not in an end-of-band
// run. Marks the coefficients it makes nonzero in `mask`; returns the
// blocks after it that the end-of-band run it may start covers.
std::uint32_t walkAcFirst(BitReader& reader, const HuffmanDecoder& ac, const Scan& scan,
                          std::uint64_t& mask) {
    for (int k = scan.ss; k <= scan.se; ++k) {
        const int symbol = reader.decode(ac);
        const int run = symbol >> 4, size = symbol & 15;
        if (size != 0) {
            k += run;
            const std::int32_t value = extend(reader.bits(size), size);
            // Kept as a 16-bit coefficient shifted by Al, which a hostile
            // file can push out to zero.
            if (((static_cast<std::uint32_t>(value) << scan.al) & 0xFFFF) != 0) {
                mask |= zigzagBit(k);
            } else {
                mask &= ~zigzagBit(k);
            }
        } else if (run == 15) {
            k += 15;
        } else {
            return (std::uint32_t{1} << run) + (run != 0 ? reader.bits(run) : 0) - 1;
        }
    }
    return 0;
}

// One block of an AC refinement scan (decode_mcu_AC_refine): a correction
// bit for each coefficient already nonzero, and the new ones, which depend
// on the mask earlier scans left.
void walkAcRefine(BitReader& reader, const HuffmanDecoder& ac, const Scan& scan,
                  std::uint32_t& eobRun, std::uint64_t& mask) {
    int k = scan.ss;
    if (eobRun == 0) {
        for (; k <= scan.se; ++k) {
            const int symbol = reader.decode(ac);
            int run = symbol >> 4;
            const int size = symbol & 15;
            if (size != 0) {
                if (size != 1) {
                    damaged("the picture's data is damaged (a Huffman code no table has)");
                }
                reader.bits(1);
            } else if (run != 15) {
                eobRun = (std::uint32_t{1} << run) + (run != 0 ? reader.bits(run) : 0);
                break;
            }
            do {
                if (mask & zigzagBit(k)) {
                    reader.bits(1);
                } else if (--run < 0) {
                    break;
                }
                ++k;
            } while (k <= scan.se);
            if (size != 0) {
                mask |= zigzagBit(k);
            }
        }
    }
    if (eobRun > 0) {
        const std::uint64_t band =
            (scan.se == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (scan.se + 1)) - 1);
        const std::uint64_t rest = k > 63 ? 0 : mask & band & ~((std::uint64_t{1} << k) - 1);
        for (int n = std::popcount(rest); n > 0; n -= 16) {
            reader.bits(std::min(n, 16));
        }
        --eobRun;
    }
}

void Walk::walkProgressive(BitReader& reader) {
    const bool dcBand = scan_.ss == 0;
    HuffmanDecoder decoders[8];
    bool derived[8] = {};
    std::array<int, kMaxBlocksInMcu> blockComponent;
    int blocks;
    const std::uint64_t mcus = layMcus(blockComponent, blocks);
    // Refining DC takes plain bits, the other scans one kind of table.
    std::array<const HuffmanDecoder*, kMaxBlocksInMcu> decoderOfBlock{};
    for (int b = 0; b < blocks && !(dcBand && scan_.ah != 0); ++b) {
        decoderOfBlock[static_cast<std::size_t>(b)] =
            &decoderOf(blockComponent[static_cast<std::size_t>(b)], dcBand, decoders, derived);
    }
    const Component& first = components_[static_cast<std::size_t>(scan_.components[0])];
    std::uint64_t* const masks = dcBand ? nullptr : nonzero_.data() + first.firstBlock;
    std::int64_t lastDc[4] = {};
    std::uint32_t eobRun = 0;
    std::uint32_t toGo = restartInterval_;
    int nextRestart = 0;
    for (std::uint64_t mcu = 0; mcu < mcus;) {
        if (restartInterval_ != 0 && toGo == 0) {
            restartIfDue(reader, toGo, nextRestart);
            std::fill(std::begin(lastDc), std::end(lastDc), 0);
            eobRun = 0;
        }
        std::uint64_t step = 1;
        if (dcBand && scan_.ah == 0) {
            for (std::size_t b = 0; b < static_cast<std::size_t>(blocks); ++b) {
                const int size = reader.decode(*decoderOfBlock[b]);
                std::int64_t& last = lastDc[blockComponent[b]];
                last += size != 0 ? extend(reader.bits(size), size) : 0;
                if (last > INT_MAX || last < INT_MIN) {
                    damaged("the picture's data is damaged (a DC coefficient out of range)");
                }
            }
        } else if (dcBand) {
            reader.bits(blocks);
        } else if (scan_.ah == 0 && eobRun > 0) {
            // Blocks with nothing in this band, which change no mask: all of
            // the run at once, up to the next restart marker.
            step = std::min<std::uint64_t>(eobRun, mcus - mcu);
            if (restartInterval_ != 0) {
                step = std::min<std::uint64_t>(step, toGo);
            }
            eobRun -= static_cast<std::uint32_t>(step);
        } else if (scan_.ah == 0) {
            eobRun = walkAcFirst(reader, *decoderOfBlock[0], scan_, masks[mcu]);
        } else {
            walkAcRefine(reader, *decoderOfBlock[0], scan_, eobRun, masks[mcu]);
        }
        mcu += step;
        toGo -= static_cast<std::uint32_t>(step);
    }
}

void Walk::finishFacts() {
    facts_.width = static_cast<std::int32_t>(width_);
    facts_.height = static_cast<std::int32_t>(height_);
    facts_.components = static_cast<int>(components_.size());
    facts_.bitsPerSample = precision_;
    switch (hierarchical_ ? -1 : process_ - kSOF0) {
        case 0:
            facts_.process = JpegProcess::Baseline;
            break;
        case 1:
            facts_.process = JpegProcess::ExtendedHuffman;
            break;
        case 2:
            facts_.process = JpegProcess::ProgressiveHuffman;
            break;
        case 3:
            facts_.process = JpegProcess::Lossless;
            break;
        case 9:
            facts_.process = JpegProcess::ExtendedArithmetic;
            break;
        case 10:
            facts_.process = JpegProcess::ProgressiveArithmetic;
            break;
        case 11:
            facts_.process = JpegProcess::LosslessArithmetic;
            break;
        default:
            facts_.process = JpegProcess::Hierarchical;
            break;
    }
    facts_.trusted = candidate_ && tidy_;
    // The decoder's guess of the color space (libjpeg's
    // default_decompress_parms), which a PDF reader must be told.
    if (facts_.components == 3) {
        const bool rgbIds =
            components_[0].id == 'R' && components_[1].id == 'G' && components_[2].id == 'B';
        facts_.colorTransform = facts_.jfif    ? true
                                : facts_.adobe ? facts_.adobeTransform != 0
                                               : !rgbIds;
    } else if (facts_.components == 4) {
        facts_.colorTransform = facts_.adobe && facts_.adobeTransform != 0;
        facts_.invertedCmyk = facts_.adobe;
    }
    if (iccCount_ == 0 || !iccConsistent_) {
        return;
    }
    if (std::count(iccSeen_.begin(), iccSeen_.end(), true) != iccCount_) {
        return;
    }
    std::vector<std::uint8_t> profile;
    for (const std::vector<std::uint8_t>& chunk : iccChunks_) {
        profile.insert(profile.end(), chunk.begin(), chunk.end());
    }
    // The header's length, and its color space (bytes 16 to 19) as the
    // image's /N must match it.
    if (profile.size() < 128) {
        return;
    }
    const std::uint32_t declared =
        std::uint32_t{profile[0]} << 24 | profile[1] << 16 | profile[2] << 8 | profile[3];
    const char* space = reinterpret_cast<const char*>(profile.data() + 16);
    const int channels = std::memcmp(space, "GRAY", 4) == 0   ? 1
                         : std::memcmp(space, "RGB ", 4) == 0 ? 3
                         : std::memcmp(space, "CMYK", 4) == 0 ? 4
                                                              : 0;
    if (declared == profile.size() && channels == facts_.components) {
        facts_.iccProfile = std::move(profile);
    }
}

JpegFacts Walk::run() {
    if (size_ < 2 || data_[0] != 0xFF || data_[1] != kSOI) {
        damaged("not a JPEG picture: it doesn't begin with a JPEG start marker");
    }
    position_ = 2;
    for (;;) {
        const int marker = nextMarker();
        if (marker == kSOS) {
            readScan();
            walkEntropyData();
        } else if (marker == kEOI) {
            if (facts_.scans == 0) {
                damaged(process_ < 0 ? "the file holds no picture, only tables"
                                     : "the file holds no picture data, only its headers");
            }
            facts_.end = position_;
            break;
        } else if (isFrameMarker(marker)) {
            readFrame(marker);
        } else if (marker == kDHT) {
            readHuffmanTables();
        } else if (marker == kDQT) {
            readQuantTables();
        } else if (marker == kDRI) {
            readRestartInterval();
        } else if (marker == kDAC) {
            readArithmeticConditioning();
        } else if ((marker >= kAPP0 && marker <= kAPP15) || marker == kCOM) {
            readApplication(marker);
        } else if ((marker == kDHP && process_ < 0) || (marker == kEXP && hierarchical_)) {
            // Hierarchical files only, which the decoder refuses anyway; they
            // start with DHP, and a DHP later is as unknown as to libjpeg.
            hierarchical_ = true;
            std::size_t length;
            skipSegment(length);
        } else if ((marker >= kRST0 && marker <= kRST7) || marker == kTEM) {
            tidy_ = false;
        } else if (marker == kDNL) {
            tidy_ = false;
            std::size_t length;
            skipSegment(length);
        } else if (marker == kSOI) {
            damaged("the picture's data is damaged (a second start marker)");
        } else {
            damaged("the picture's data is damaged (unknown marker " + hex(marker) + ")");
        }
    }
    finishFacts();
    return facts_;
}

}  // namespace

JpegFacts JpegStructureReader::read(const std::uint8_t* data, std::size_t size,
                                    JpegEntropyCheck check) {
    return Walk(data, size, nonzero_, check).run();
}

JpegFacts readJpegStructure(const std::uint8_t* data, std::size_t size) {
    return JpegStructureReader().read(data, size);
}

}  // namespace folder2pdf
