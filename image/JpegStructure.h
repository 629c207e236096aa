#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace folder2pdf {

// What an EXIF block says that the program uses.
struct ExifFacts {
    // How the stored pixels turn upright, 1 to 8 as EXIF numbers it; 1 when
    // the block doesn't say or says it unreadably.
    int orientation = 1;
    // When the photo was taken, "YYYY:MM:DD HH:MM:SS" exactly as the camera
    // wrote it, with every field in its range; empty when absent, blank (as
    // cameras without a clock write it) or malformed.
    std::string dateTimeOriginal;
};

// Reads an EXIF block: a little TIFF file (byte order mark, 42, offset of
// the first directory), as it follows "Exif\0\0" in a JPEG's APP1 segment or
// sits in a HEIF file's Exif item. Both byte orders. The orientation is the
// first directory's tag 0x0112, one SHORT; the date is tag 0x9003, ASCII, of
// the directory that the first directory's tag 0x8769 points to. No other
// directory is followed, so a chain of directories that loops can't hold it
// up. Every offset and count is checked against `size`; anything that
// doesn't fit leaves that fact at its default. Never throws.
ExifFacts readExif(const std::uint8_t* tiff, std::size_t size);

// The EXIF facts of a picture file from its first `size` bytes: a JPEG's
// first APP1 "Exif" segment before its first scan, or a TIFF file's own
// directories (a TIFF is the very structure an EXIF block is). Other
// formats, and what doesn't fit in the bytes given, give the defaults.
// Never throws.
ExifFacts readPictureExif(const std::uint8_t* data, std::size_t size);

// How the frame header (SOFn) says the picture was coded.
enum class JpegProcess {
    Baseline,               // SOF0
    ExtendedHuffman,        // SOF1: sequential, up to 12 bits, four tables of each kind
    ProgressiveHuffman,     // SOF2
    Lossless,               // SOF3
    ExtendedArithmetic,     // SOF9
    ProgressiveArithmetic,  // SOF10
    LosslessArithmetic,     // SOF11
    Hierarchical,           // SOF5-7, SOF13-15, DHP
};

// What the writer needs to know of a JPEG it stores as its own bytes.
struct JpegFacts {
    std::int32_t width = 0;
    std::int32_t height = 0;
    int components = 0;     // as the frame header says: 1 gray, 3 color, 4 CMYK/YCCK
    int bitsPerSample = 0;  // 8, or 12 (or 2 to 16 lossless)
    JpegProcess process = JpegProcess::Baseline;
    int scans = 0;

    // Whether a PDF reader's DCTDecode shows the bytes as the program's own
    // decoder does: 8-bit sequential or progressive Huffman coding of 1, 3 or
    // 4 components, every Huffman table in the file, entropy-coded data that
    // the decoder reads through without a fault, and nothing readers handle
    // differently (bytes between segments, nonstandard scan parameters, an
    // unusual order of progressive scans). Arithmetic, lossless,
    // hierarchical and 12-bit pictures are never trusted: decode them.
    bool trusted = false;

    bool jfif = false;       // an APP0 "JFIF" segment
    bool adobe = false;      // an APP14 "Adobe" segment
    int adobeTransform = 0;  // its transform: 0 none, 1 YCbCr, 2 YCCK (the last segment's)
    // Whether the decoder turns the components from YCbCr into RGB (3) or
    // from YCCK into CMYK (4), as it decides from JFIF, Adobe and the
    // component ids: the value of /ColorTransform.
    bool colorTransform = false;
    // Four components stored inverted (0 is full ink), as Adobe writes them
    // and the decoder takes every file with an Adobe segment to be: the
    // image needs /Decode [1 0 1 0 1 0 1 0].
    bool invertedCmyk = false;

    // The ICC profile, put together from the APP2 "ICC_PROFILE" chunks; empty
    // when there is none, when the chunks' numbers or counts disagree or one
    // is missing, when the profile's header doesn't give its length, or when
    // its color space doesn't have `components` channels.
    std::vector<std::uint8_t> iccProfile;
    // The first APP1 "Exif" segment's facts.
    ExifFacts exif;

    // The offset just past the end marker (EOI): bytes after it, as some
    // programs append, are not part of the picture, and the stored stream is
    // data[0 .. end).
    std::size_t end = 0;
};

// Walks a JPEG file's structure from start marker to end marker: every
// segment's length, the frame and scan headers, the tables, and the
// entropy-coded data of every scan. Throws Error (Damaged) where the file is
// broken: cut short, a segment running past the end, a scan before the frame
// header, no scan, no end marker, damaged headers or tables, too many scans,
// or, for a picture it would trust, entropy-coded data the decoder couldn't
// read through (a Huffman walk of every scan, progressive refinement
// included). The message gives the reason in plain words; the loader adds
// the file name. Bytes after the end marker are never read.
//
// Agreement with decodeJpeg(): a file this trusts is one the decoder
// decodes, and a file it refuses is one the decoder refuses, with one
// exception: a Huffman code that no table defines is always refused, while
// libjpeg's fast path decodes such a code as zero when it lies more than
// 512 bytes a block before the end. A picture past the decoder's own size
// limits (GrayRaster's, 2 GiB of coefficients) is not trusted, so that the
// decoder gives its verdict. Throws OutOfMemory when
// the progressive bookkeeping (8 bytes an 8 x 8 block) can't be had.
//
// With JpegEntropyCheck::Markers the entropy-coded data is only searched for
// the markers that end it, a few milliseconds for a photo of 12 megapixels
// rather than tens: everything else is checked as before (cut short, segment
// lengths, headers, tables, no scan, no end marker), and a picture is
// trusted only when every table its scans code with is in the file; a fault
// inside the coded data itself is not found.
//
// One reader walks one file at a time; keep it to reuse its buffer from file
// to file.
enum class JpegEntropyCheck { Huffman, Markers };

class JpegStructureReader {
  public:
    JpegFacts read(const std::uint8_t* data, std::size_t size,
                   JpegEntropyCheck check = JpegEntropyCheck::Huffman);

  private:
    std::vector<std::uint64_t> nonzero_;
};

// readJpegStructure(data, size) is JpegStructureReader().read(data, size).
JpegFacts readJpegStructure(const std::uint8_t* data, std::size_t size);

}  // namespace folder2pdf
