#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "common/Error.h"
#include "image/ImgToByte.h"
#include "image/JpegStructure.h"

namespace folder2pdf {
namespace {

using Data = std::vector<std::uint8_t>;

Data readData(const std::string& name) {
    const std::string bytes = testsupport::readFile(testsupport::dataFile(name));
    return Data(bytes.begin(), bytes.end());
}

bool decoderAccepts(const Data& file) {
    ImgToByte loader;
    GrayImage image;
    try {
        loader.loadBytes(file.data(), file.size(), image);
        return true;
    } catch (const Error&) {
        return false;
    }
}

// The offset of the first `pattern` in `data`, or its size.
std::size_t find(const Data& data, const Data& pattern) {
    return static_cast<std::size_t>(
        std::search(data.begin(), data.end(), pattern.begin(), pattern.end()) - data.begin());
}

// `jpeg` with a segment of `marker` holding `body` right after its SOI.
Data withSegment(Data jpeg, std::uint8_t marker, const Data& body) {
    const std::size_t length = body.size() + 2;
    Data segment = {0xFF, marker, static_cast<std::uint8_t>(length >> 8),
                    static_cast<std::uint8_t>(length)};
    segment.insert(segment.end(), body.begin(), body.end());
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

// ---------------------------------------------------------------------------
// The samples, from tools/make-test-pictures.py.

struct Sample {
    const char* name;
    int components;
    JpegProcess process;
    int scans;
    bool trusted, jfif, adobe;
    int transform;
    bool colorTransform, invertedCmyk;
};

TEST(JpegStructure, SamplesReportTheirFacts) {
    using P = JpegProcess;
    const Sample samples[] = {
        {"gray", 1, P::Baseline, 1, true, true, false, 0, false, false},
        {"baseline-420", 3, P::Baseline, 1, true, true, false, 0, true, false},
        {"restart-markers", 3, P::Baseline, 1, true, true, false, 0, true, false},
        {"rgb", 3, P::Baseline, 1, true, false, true, 0, false, false},
        {"cmyk-adobe", 4, P::Baseline, 1, true, false, true, 0, false, true},
        {"cmyk-plain", 4, P::Baseline, 1, true, false, false, 0, false, false},
        {"ycck", 4, P::Baseline, 1, true, false, true, 2, true, true},
        {"progressive-420", 3, P::ProgressiveHuffman, 10, true, true, false, 0, true, false},
        {"gray-progressive", 1, P::ProgressiveHuffman, 6, true, true, false, 0, false, false},
        {"arithmetic", 3, P::ExtendedArithmetic, 1, false, true, false, 0, true, false},
    };
    // One reader throughout, twice over: what a progressive file leaves in
    // its buffer must not change the next walk.
    JpegStructureReader reader;
    for (int round = 0; round < 2; ++round) {
        for (const Sample& s : samples) {
            SCOPED_TRACE(s.name);
            const Data file = readData(std::string("jpeg/") + s.name + ".jpg");
            const JpegFacts facts = reader.read(file.data(), file.size());
            EXPECT_EQ(facts.width, 37);
            EXPECT_EQ(facts.height, 29);
            EXPECT_EQ(facts.components, s.components);
            EXPECT_EQ(facts.bitsPerSample, 8);
            EXPECT_EQ(facts.process, s.process);
            EXPECT_EQ(facts.scans, s.scans);
            EXPECT_EQ(facts.trusted, s.trusted);
            EXPECT_EQ(facts.jfif, s.jfif);
            EXPECT_EQ(facts.adobe, s.adobe);
            EXPECT_EQ(facts.adobeTransform, s.transform);
            EXPECT_EQ(facts.colorTransform, s.colorTransform);
            EXPECT_EQ(facts.invertedCmyk, s.invertedCmyk);
            EXPECT_EQ(facts.end, file.size());
            EXPECT_TRUE(facts.iccProfile.empty());
        }
    }
}

// libjpeg-turbo 2.1 writes neither 12-bit nor lossless JPEGs, so the
// frame header of a baseline sample is rewritten into them; the decoder
// refuses both, and the walk says so by not trusting them.
TEST(JpegStructure, ProcessesReadersMayNotShowAreNotTrusted) {
    const Data gray = readData("jpeg/gray.jpg");
    const std::size_t frame = find(gray, {0xFF, 0xC0});
    Data twelveBit = gray;
    twelveBit[frame + 1] = 0xC1;
    twelveBit[frame + 4] = 12;
    Data lossless = gray;
    lossless[frame + 1] = 0xC3;
    // Motion JPEG leaves out the standard Huffman tables, which libjpeg
    // supplies and PDF readers don't.
    Data noTables = readData("jpeg/baseline-420.jpg");
    for (std::size_t at; (at = find(noTables, {0xFF, 0xC4})) < noTables.size();) {
        const std::size_t length = noTables[at + 2] << 8 | noTables[at + 3];
        noTables.erase(noTables.begin() + static_cast<std::ptrdiff_t>(at),
                       noTables.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
    }
    const struct {
        const char* name;
        Data file;
        JpegProcess process;
        int bits;
        bool decodes;
    } cases[] = {
        {"12-bit", twelveBit, JpegProcess::ExtendedHuffman, 12, false},
        {"lossless", lossless, JpegProcess::Lossless, 8, false},
        {"standard tables", noTables, JpegProcess::Baseline, 8, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const JpegFacts facts = readJpegStructure(c.file.data(), c.file.size());
        EXPECT_EQ(facts.process, c.process);
        EXPECT_EQ(facts.bitsPerSample, c.bits);
        EXPECT_FALSE(facts.trusted);
        EXPECT_EQ(decoderAccepts(c.file), c.decodes);
    }
}

// ---------------------------------------------------------------------------
// EXIF, from TIFF blocks written here.

struct Entry {
    std::uint16_t tag, type;
    std::uint32_t count, value;
};

constexpr std::uint32_t kExifDirectory = 0xFFFF0001;  // a value replaced by its offset
constexpr std::uint32_t kText = 0xFFFF0002;

// A TIFF block: header, the first directory, the Exif directory, `text`.
Data tiffBlock(bool bigEndian, const std::vector<Entry>& first, const std::vector<Entry>& exif = {},
               const std::string& text = "") {
    Data out;
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = 8 * (bigEndian ? bytes - 1 - i : i);
            out.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    };
    const std::uint32_t exifAt = 8 + 2 + 12 * static_cast<std::uint32_t>(first.size()) + 4;
    const std::uint32_t textAt = exifAt + 2 + 12 * static_cast<std::uint32_t>(exif.size()) + 4;
    out.assign(2, bigEndian ? 'M' : 'I');
    put(42, 2);
    put(8, 4);
    for (const std::vector<Entry>* directory : {&first, &exif}) {
        put(static_cast<std::uint32_t>(directory->size()), 2);
        for (const Entry& e : *directory) {
            put(e.tag, 2);
            put(e.type, 2);
            put(e.count, 4);
            const std::uint32_t value = e.value == kExifDirectory ? exifAt
                                        : e.value == kText        ? textAt
                                                                  : e.value;
            if (e.type == 3 && e.count == 1) {
                put(value, 2);  // a SHORT sits in the first half of the field
                put(0, 2);
            } else {
                put(value, 4);
            }
        }
        put(0, 4);  // no next directory
    }
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

TEST(Exif, OrientationInBothByteOrdersThroughTheJpeg) {
    const Data gray = readData("jpeg/gray.jpg");
    for (bool bigEndian : {false, true}) {
        for (std::uint32_t orientation = 1; orientation <= 8; ++orientation) {
            Data app1 = {'E', 'x', 'i', 'f', 0, 0};
            const Data tiff = tiffBlock(bigEndian, {{0x0112, 3, 1, orientation}});
            app1.insert(app1.end(), tiff.begin(), tiff.end());
            const Data file = withSegment(gray, 0xE1, app1);
            EXPECT_EQ(readJpegStructure(file.data(), file.size()).exif.orientation,
                      static_cast<int>(orientation))
                << bigEndian;
        }
    }
}

TEST(Exif, DateTimeOriginalFromTheExifDirectory) {
    const std::vector<Entry> pointer = {{0x0112, 3, 1, 6}, {0x8769, 4, 1, kExifDirectory}};
    const std::vector<Entry> date = {{0x9003, 2, 20, kText}};
    const std::string text("2023:07:14 09:05:59\0", 20);
    for (bool bigEndian : {false, true}) {
        const Data tiff = tiffBlock(bigEndian, pointer, date, text);
        const ExifFacts facts = readExif(tiff.data(), tiff.size());
        EXPECT_EQ(facts.orientation, 6);
        EXPECT_EQ(facts.dateTimeOriginal, "2023:07:14 09:05:59");
    }
}

// Each block is read as far as it holds together; the rest is the default.
TEST(Exif, UnreadableBlocksGiveTheDefaults) {
    const std::vector<Entry> pointer = {{0x8769, 4, 1, kExifDirectory}};
    const std::vector<Entry> date = {{0x9003, 2, 20, kText}};
    const auto dated = [&](const std::string& text) {
        return tiffBlock(false, pointer, date, text + std::string(1, '\0'));
    };
    Data cut = dated("2023:07:14 09:05:59");
    cut.resize(cut.size() - 5);
    Data hugeCount = tiffBlock(true, {{0x0100, 3, 1, 3}, {0x0112, 3, 1, 3}});
    hugeCount[9] = 0xFF;  // 255 entries, and the orientation cut off
    hugeCount.resize(8 + 2 + 12 + 6);
    Data farDirectory = tiffBlock(false, {{0x0112, 3, 1, 3}});
    farDirectory[7] = 0xF0;
    const struct {
        const char* name;
        Data block;
        int orientation;
        const char* date;
    } cases[] = {
        {"orientation as LONG", tiffBlock(false, {{0x0112, 4, 1, 6}}), 1, ""},
        {"two orientations in one", tiffBlock(true, {{0x0112, 3, 2, 6}}), 1, ""},
        {"orientation 9", tiffBlock(false, {{0x0112, 3, 1, 9}}), 1, ""},
        {"orientation 0", tiffBlock(false, {{0x0112, 3, 1, 0}}), 1, ""},
        {"entries past the end", hugeCount, 1, ""},
        {"directory past the end", farDirectory, 1, ""},
        {"not TIFF", Data{'I', 'I', 43, 0, 8, 0, 0, 0, 0, 0}, 1, ""},
        {"too short", Data{'M', 'M', 0, 42}, 1, ""},
        {"date cut short", cut, 1, ""},
        {"date left blank", dated("    :  :     :  :  "), 1, ""},
        {"month 13", dated("2023:13:14 09:05:59"), 1, ""},
        {"date as bytes",
         tiffBlock(false, pointer, {{0x9003, 7, 20, kText}}, "2023:07:14 09:05:59"), 1, ""},
        {"Exif directory outside", tiffBlock(false, {{0x8769, 4, 1, 0x7FFFFFF0}}), 1, ""},
        {"Exif directory is the first", tiffBlock(false, {{0x8769, 4, 1, 8}}), 1, ""},
        {"no terminating zero",
         tiffBlock(false, pointer, {{0x9003, 2, 19, kText}}, "2023:07:14 09:05:59"), 1,
         "2023:07:14 09:05:59"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ExifFacts facts = readExif(c.block.data(), c.block.size());
        EXPECT_EQ(facts.orientation, c.orientation);
        EXPECT_EQ(facts.dateTimeOriginal, c.date);
    }
}

// ---------------------------------------------------------------------------
// ICC profiles, in APP2 chunks written here.

// A profile of `size` bytes whose header gives its length and color space.
Data profile(std::size_t size, const char* space) {
    Data p(size);
    for (std::size_t i = 0; i < size; ++i) {
        p[i] = static_cast<std::uint8_t>(i * 7);
    }
    p[0] = 0;
    p[1] = 0;
    p[2] = static_cast<std::uint8_t>(size >> 8);
    p[3] = static_cast<std::uint8_t>(size);
    std::copy(space, space + 4, p.begin() + 16);
    return p;
}

// The chunks (number, count, bytes from..to of `whole`), inserted in order.
struct Chunk {
    int number, count;
    std::size_t from, to;
};

Data withChunks(const Data& jpeg, const Data& whole, const std::vector<Chunk>& chunks) {
    Data out = jpeg;
    for (auto c = chunks.rbegin(); c != chunks.rend(); ++c) {
        Data body = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
        body.push_back(static_cast<std::uint8_t>(c->number));
        body.push_back(static_cast<std::uint8_t>(c->count));
        body.insert(body.end(), whole.begin() + static_cast<std::ptrdiff_t>(c->from),
                    whole.begin() + static_cast<std::ptrdiff_t>(c->to));
        out = withSegment(out, 0xE2, body);
    }
    return out;
}

TEST(JpegStructure, IccProfileIsPutTogetherFromItsChunks) {
    const Data color = readData("jpeg/baseline-420.jpg");
    const Data rgb = profile(300, "RGB ");
    const struct {
        const char* name;
        Data profile;
        std::vector<Chunk> chunks;
        bool kept;
    } cases[] = {
        {"two chunks", rgb, {{1, 2, 0, 100}, {2, 2, 100, 300}}, true},
        {"two chunks, second first", rgb, {{2, 2, 100, 300}, {1, 2, 0, 100}}, true},
        {"one chunk", rgb, {{1, 1, 0, 300}}, true},
        {"one of two missing", rgb, {{1, 2, 0, 300}}, false},
        {"counts disagree", rgb, {{1, 2, 0, 100}, {2, 3, 100, 300}}, false},
        {"a number twice", rgb, {{1, 2, 0, 100}, {1, 2, 100, 300}}, false},
        {"number 0", rgb, {{0, 1, 0, 300}}, false},
        {"shorter than its header says", rgb, {{1, 1, 0, 299}}, false},
        {"gray profile for color", profile(300, "GRAY"), {{1, 1, 0, 300}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Data file = withChunks(color, c.profile, c.chunks);
        const JpegFacts facts = readJpegStructure(file.data(), file.size());
        EXPECT_EQ(facts.iccProfile, c.kept ? c.profile : Data{});
        EXPECT_TRUE(facts.trusted);
    }
}

// ---------------------------------------------------------------------------
// Broken files, and agreement with the decoder.

void expectDamaged(const Data& file, const char* message) {
    try {
        readJpegStructure(file.data(), file.size());
        ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.reason(), ErrorReason::Damaged) << e.what();
        EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
    EXPECT_FALSE(decoderAccepts(file)) << "the decoder takes it";
}

TEST(JpegStructure, BrokenFilesAreRefusedWhereTheDecoderRefusesThem) {
    const Data gray = readData("jpeg/gray.jpg");
    const std::size_t tables = find(gray, {0xFF, 0xDB});
    const std::size_t frame = find(gray, {0xFF, 0xC0});
    const std::size_t scan = find(gray, {0xFF, 0xDA});
    const auto without = [&](std::size_t from, std::size_t to) {
        Data d = gray;
        d.erase(d.begin() + static_cast<std::ptrdiff_t>(from),
                d.begin() + static_cast<std::ptrdiff_t>(to));
        return d;
    };
    Data longTables = gray;
    ++longTables[tables + 3];
    Data pastTheEnd = withSegment(gray, 0xEC, {1, 2, 3});
    pastTheEnd[4] = 0xF0;
    // Sixteen one bits (0xFF stuffed as 0xFF 0x00) are no code of any table.
    Data badCode = readData("jpeg/baseline-420.jpg");
    const std::size_t data = find(badCode, {0xFF, 0xDA}) + 2 + 12;
    badCode.insert(badCode.begin() + static_cast<std::ptrdiff_t>(data),
                   {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00});
    const std::size_t frameEnd = frame + 2 + (gray[frame + 2] << 8 | gray[frame + 3]);
    // Hierarchical files start with DHP; after a frame header it is unknown.
    Data lateDhp = gray;
    lateDhp.insert(lateDhp.begin() + static_cast<std::ptrdiff_t>(frameEnd),
                   {0xFF, 0xDE, 0x00, 0x04, 0x00, 0x00});
    const struct {
        const char* name;
        Data file;
        const char* message;
    } cases[] = {
        {"cut in the headers", Data(gray.begin(), gray.begin() + 100), "ends in the middle"},
        {"the start cut off", Data(gray.end() - 300, gray.end()), "not a JPEG picture"},
        {"no end marker", Data(gray.begin(), gray.end() - 2), "ends in the middle"},
        {"a length too long", longTables, "quantization table is damaged"},
        {"a segment past the end", pastTheEnd, "ends in the middle"},
        {"no scan", without(scan, gray.size() - 2), "only its headers"},
        {"no frame header", without(frame, frameEnd), "before its frame header"},
        {"data ends early", without(gray.size() - 60, gray.size() - 2), "damaged"},
        {"a bad Huffman code", badCode, "a Huffman code no table has"},
        {"DHP after the frame header", lateDhp, "unknown marker 0xde"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectDamaged(c.file, c.message);
    }
}

TEST(JpegStructure, BytesAfterTheEndMarkerAreNotThePicture) {
    Data file = readData("jpeg/progressive-420.jpg");
    const std::size_t end = file.size();
    file.insert(file.end(), {0x00, 0xFF, 0xD8, 0x12, 0xFF});
    const JpegFacts facts = readJpegStructure(file.data(), file.size());
    EXPECT_EQ(facts.end, end);
    EXPECT_TRUE(facts.trusted);
    EXPECT_TRUE(decoderAccepts(file));
}

TEST(JpegStructure, JunkBetweenSegmentsIsAcceptedButNotTrusted) {
    Data file = readData("jpeg/baseline-420.jpg");
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(find(file, {0xFF, 0xDB})),
                {0x00, 0x12, 0x34});
    EXPECT_FALSE(readJpegStructure(file.data(), file.size()).trusted);
    EXPECT_TRUE(decoderAccepts(file));
}

// A trusted walk means the decoder decodes the file; where libjpeg reads
// the data only its careful way (progressive files, restart intervals, MCUs
// of several blocks in files under 512 bytes a block), a refusal means the
// decoder refuses it too.
void expectAgreement(const Data& file, bool exact, const std::string& what) {
    bool threw = false, trusted = false;
    try {
        trusted = readJpegStructure(file.data(), file.size()).trusted;
    } catch (const Error&) {
        threw = true;
    }
    const bool decodes = decoderAccepts(file);
    if (trusted) {
        EXPECT_TRUE(decodes) << what << ": trusted, but the decoder refuses it";
    }
    if (exact && threw) {
        EXPECT_FALSE(decodes) << what << ": refused, but the decoder takes it";
    }
}

const struct {
    const char* name;
    bool exact;  // libjpeg's fast path can't take any of it
} kAgreementSamples[] = {
    {"gray", false},           {"baseline-420", true},     {"restart-markers", true},
    {"progressive-420", true}, {"gray-progressive", true}, {"ycck", true},
    {"arithmetic", true},
};

TEST(JpegStructure, AgreesWithTheDecoderOnEveryCut) {
    for (const auto& sample : kAgreementSamples) {
        const Data file = readData(std::string("jpeg/") + sample.name + ".jpg");
        for (std::size_t size = 0; size < file.size(); ++size) {
            expectAgreement(Data(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size)),
                            sample.exact, sample.name + (" cut at " + std::to_string(size)));
        }
    }
}

TEST(JpegStructure, AgreesWithTheDecoderOnDamagedBytes) {
    for (const auto& sample : kAgreementSamples) {
        const Data file = readData(std::string("jpeg/") + sample.name + ".jpg");
        for (std::size_t at = 2; at < file.size(); ++at) {
            for (std::uint8_t flip : {0x01, 0x10, 0x80}) {
                Data damaged = file;
                damaged[at] ^= flip;
                expectAgreement(
                    damaged, sample.exact,
                    sample.name + (" byte " + std::to_string(at) + " ^ " + std::to_string(flip)));
            }
        }
    }
}

// The first scan of the progressive sample (its DC) repeated.
TEST(JpegStructure, FiveHundredScansAreTheLimit) {
    const Data progressive = readData("jpeg/gray-progressive.jpg");
    const std::size_t first = find(progressive, {0xFF, 0xDA});
    const std::size_t second =
        first + 2 +
        find(Data(progressive.begin() + static_cast<std::ptrdiff_t>(first) + 2, progressive.end()),
             {0xFF, 0xDA});
    for (int scans : {500, 501}) {
        Data file(progressive.begin(), progressive.end() - 2);
        for (int i = 6; i < scans; ++i) {
            file.insert(file.end(), progressive.begin() + static_cast<std::ptrdiff_t>(first),
                        progressive.begin() + static_cast<std::ptrdiff_t>(second));
        }
        file.insert(file.end(), {0xFF, 0xD9});
        if (scans == 500) {
            EXPECT_EQ(readJpegStructure(file.data(), file.size()).scans, 500);
        } else {
            expectDamaged(file, "too many scans");
        }
    }
}

}  // namespace
}  // namespace folder2pdf
