#include "image/HeifStructure.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/Error.h"

namespace folder2pdf {
namespace {

constexpr std::uint32_t fourcc(const char (&name)[5]) {
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
           std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint32_t(std::uint8_t(name[3]));
}

constexpr std::uint64_t kCodingBlock = 64;         // HEVC's largest CTB, AV1's superblock
constexpr std::uint64_t kMaxItemPixels = 1 << 24;  // an item other than the picture itself

// Thrown where the boxes can't be read; becomes the Damaged error.
struct Unreadable {
    const char* what;
};

struct Span {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

// Big-endian numbers from a span, each read checked against its end.
class Reader {
  public:
    explicit Reader(Span span) : span_(span) {}

    bool atEnd() const { return position_ == span_.size; }
    std::size_t left() const { return span_.size - position_; }

    std::uint64_t number(std::size_t bytes, const char* what) {
        if (bytes > left()) {
            throw Unreadable{what};
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            value = value << 8 | span_.data[position_ + i];
        }
        position_ += bytes;
        return value;
    }
    std::uint32_t u8(const char* what) { return static_cast<std::uint32_t>(number(1, what)); }
    std::uint32_t u16(const char* what) { return static_cast<std::uint32_t>(number(2, what)); }
    std::uint32_t u32(const char* what) { return static_cast<std::uint32_t>(number(4, what)); }

    Span take(std::size_t bytes, const char* what) {
        if (bytes > left()) {
            throw Unreadable{what};
        }
        const Span part{span_.data + position_, bytes};
        position_ += bytes;
        return part;
    }
    Span rest() { return take(left(), ""); }

  private:
    Span span_;
    std::size_t position_ = 0;
};

struct Box {
    std::uint32_t type;
    Span body;
};

// The boxes that fill `span`: 32-bit sizes, 64-bit ones (size 1) and the
// last box running to the end (size 0). With `lenient`, bytes after the last
// whole box end the list instead of failing it, as libheif takes a file's
// trailing junk.
std::vector<Box> boxesIn(Span span, bool lenient = false) {
    std::vector<Box> boxes;
    Reader reader(span);
    try {
        while (!reader.atEnd()) {
            std::uint64_t size = reader.u32("a box's size");
            const std::uint32_t type = reader.u32("a box's type");
            std::uint64_t header = 8;
            if (size == 1) {
                size = reader.number(8, "a box's size");
                header = 16;
            } else if (size == 0) {
                size = reader.left() + header;
            }
            if (size < header || size - header > reader.left()) {
                throw Unreadable{"a box's size"};
            }
            boxes.push_back({type, reader.take(static_cast<std::size_t>(size - header), "a box")});
        }
    } catch (const Unreadable&) {
        if (!lenient) {
            throw;
        }
    }
    return boxes;
}

// The body of a FullBox after its version and flags.
Span fullBody(Span body, std::uint32_t& version, std::uint32_t& flags) {
    Reader reader(body);
    version = reader.u8("a box's version");
    flags = static_cast<std::uint32_t>(reader.number(3, "a box's flags"));
    return reader.rest();
}

std::optional<Box> topLevelBox(Span file, std::uint32_t type) {
    for (const Box& box : boxesIn(file, true)) {
        if (box.type == type) {
            return box;
        }
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// The coded sizes in HEVC's sequence parameter sets and AV1's sequence
// headers.

class BitReader {
  public:
    explicit BitReader(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::uint64_t bits(int count) {
        std::uint64_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (bit_ >= 8 * bytes_.size()) {
                throw Unreadable{"a parameter set"};
            }
            value = value << 1 | (bytes_[bit_ / 8] >> (7 - bit_ % 8) & 1);
            ++bit_;
        }
        return value;
    }

    // Exp-Golomb (HEVC's ue(v), AV1's uvlc()).
    std::uint64_t golomb() {
        int zeros = 0;
        while (bits(1) == 0) {
            if (++zeros == 32) {
                throw Unreadable{"a parameter set"};
            }
        }
        return (std::uint64_t{1} << zeros) - 1 + bits(zeros);
    }

  private:
    std::vector<std::uint8_t> bytes_;
    std::size_t bit_ = 0;
};

struct Size {
    std::uint64_t width;
    std::uint64_t height;
};

// pic_width and pic_height_in_luma_samples of an SPS NAL unit, its 2-byte
// header included.
Size hevcSpsSize(Span nal) {
    std::vector<std::uint8_t> rbsp;  // without emulation prevention bytes
    for (std::size_t i = 2; i < nal.size; ++i) {
        if (i >= 4 && nal.data[i] == 3 && nal.data[i - 1] == 0 && nal.data[i - 2] == 0) {
            continue;
        }
        rbsp.push_back(nal.data[i]);
    }
    BitReader sps(std::move(rbsp));
    sps.bits(4);  // sps_video_parameter_set_id
    const int subLayers = static_cast<int>(sps.bits(3));
    sps.bits(1);
    sps.bits(88 + 8);  // the general profile, tier and level
    bool profile[8] = {}, level[8] = {};
    for (int i = 0; i < subLayers; ++i) {
        profile[i] = sps.bits(1) != 0;
        level[i] = sps.bits(1) != 0;
    }
    if (subLayers > 0) {
        sps.bits(2 * (8 - subLayers));
    }
    for (int i = 0; i < subLayers; ++i) {
        sps.bits((profile[i] ? 88 : 0) + (level[i] ? 8 : 0));
    }
    sps.golomb();  // sps_seq_parameter_set_id
    if (sps.golomb() == 3) {
        sps.bits(1);  // separate_colour_plane_flag
    }
    const std::uint64_t width = sps.golomb();
    return {width, sps.golomb()};
}

// max_frame_width and max_frame_height of an AV1 sequence header OBU's
// payload.
Size av1SequenceSize(Span payload) {
    BitReader header(std::vector<std::uint8_t>(payload.data, payload.data + payload.size));
    header.bits(3);  // seq_profile
    header.bits(1);  // still_picture
    if (header.bits(1) != 0) {
        header.bits(5);  // reduced still picture header: seq_level_idx
    } else {
        bool decoderModel = false;
        int delayBits = 0;
        if (header.bits(1) != 0) {  // timing_info_present_flag
            header.bits(64);
            if (header.bits(1) != 0) {
                header.golomb();  // num_ticks_per_picture_minus_1
            }
            decoderModel = header.bits(1) != 0;
            if (decoderModel) {
                delayBits = static_cast<int>(header.bits(5)) + 1;
                header.bits(32 + 5 + 5);
            }
        }
        const bool displayDelay = header.bits(1) != 0;
        const int points = static_cast<int>(header.bits(5)) + 1;
        for (int i = 0; i < points; ++i) {
            header.bits(12);  // operating_point_idc
            if (header.bits(5) > 7) {
                header.bits(1);  // seq_tier
            }
            if (decoderModel && header.bits(1) != 0) {
                header.bits(2 * delayBits + 1);
            }
            if (displayDelay && header.bits(1) != 0) {
                header.bits(4);
            }
        }
    }
    const int widthBits = static_cast<int>(header.bits(4)) + 1;
    const int heightBits = static_cast<int>(header.bits(4)) + 1;
    const std::uint64_t width = header.bits(widthBits) + 1;
    return {width, header.bits(heightBits) + 1};
}

// The SPS sizes of NAL units that each follow a 4-byte length, as libheif
// hands them to libde265.
void hevcSizesIn(Span stream, std::vector<Size>& sizes) {
    Reader reader(stream);
    while (reader.left() >= 4) {
        const std::uint32_t length = reader.u32("a NAL unit's length");
        if (length > reader.left()) {
            break;  // libheif gives up here too
        }
        const Span nal = reader.take(length, "a NAL unit");
        if (nal.size >= 2 && (nal.data[0] >> 1 & 0x3F) == 33) {
            sizes.push_back(hevcSpsSize(nal));
        }
    }
}

// The sizes in the parameter set arrays of an hvcC box. libheif hands every
// unit of every array to libde265, which goes by each unit's own header,
// not by the array's.
void hevcSizesInConfig(Span body, std::vector<Size>& sizes) {
    Reader reader(body);
    reader.take(22, "hvcC");
    const std::uint32_t arrays = reader.u8("hvcC");
    for (std::uint32_t a = 0; a < arrays; ++a) {
        reader.u8("hvcC");
        const std::uint32_t units = reader.u16("hvcC");
        for (std::uint32_t u = 0; u < units; ++u) {
            const Span nal = reader.take(reader.u16("hvcC"), "hvcC");
            if (nal.size >= 2 && (nal.data[0] >> 1 & 0x3F) == 33) {
                sizes.push_back(hevcSpsSize(nal));
            }
        }
    }
}

// The sequence header sizes of a run of OBUs (av1C's configOBUs, an item's
// data).
void av1SizesIn(Span stream, std::vector<Size>& sizes) {
    Reader reader(stream);
    while (!reader.atEnd()) {
        const std::uint32_t header = reader.u8("an OBU");
        if (header & 0x04) {
            reader.u8("an OBU");  // the extension
        }
        std::uint64_t length = reader.left();
        if (header & 0x02) {  // a size field, LEB128
            length = 0;
            for (int i = 0; i < 8; ++i) {
                const std::uint32_t byte = reader.u8("an OBU's size");
                length |= std::uint64_t{byte & 0x7F} << (7 * i);
                if ((byte & 0x80) == 0) {
                    break;
                }
            }
        }
        if (length > reader.left()) {
            throw Unreadable{"an OBU's size"};
        }
        const Span payload = reader.take(static_cast<std::size_t>(length), "an OBU");
        if ((header >> 3 & 0x0F) == 1) {
            sizes.push_back(av1SequenceSize(payload));
        }
    }
}

// ---------------------------------------------------------------------------
// The items: their types, properties and data, read as libheif 1.15 reads
// them, so that the sizes checked are those it will use: the first box of
// each kind, the first entry of an item where several name it, and iloc's
// field sizes as it takes them.

struct Extent {
    std::uint64_t offset;
    std::uint64_t length;
};

struct Item {
    std::optional<std::uint32_t> type;
    std::optional<std::vector<std::uint32_t>> properties;  // indices into ipco, from 1
    std::uint32_t construction = 0;                        // 0: in the file, 1: in idat
    std::optional<std::vector<Extent>> extents;
};

struct Meta {
    std::map<std::uint32_t, Item> items;
    std::vector<Box> properties;
    Span idat;
};

void readItemTypes(Span iinf, Meta& meta) {
    std::uint32_t version = 0, flags = 0;
    Reader reader(fullBody(iinf, version, flags));
    reader.number(version == 0 ? 2 : 4, "iinf");
    for (const Box& infe : boxesIn(reader.rest())) {
        std::uint32_t infeVersion = 0;
        Reader entry(fullBody(infe.body, infeVersion, flags));
        if (infe.type != fourcc("infe") || infeVersion < 2) {
            continue;
        }
        const auto id = static_cast<std::uint32_t>(entry.number(infeVersion == 2 ? 2 : 4, "infe"));
        entry.u16("infe");
        const std::uint32_t type = entry.u32("infe");
        Item& item = meta.items[id];
        if (!item.type) {
            item.type = type;
        }
    }
}

void readAssociations(Span ipma, Meta& meta) {
    std::uint32_t version = 0, flags = 0;
    Reader reader(fullBody(ipma, version, flags));
    const std::uint32_t entries = reader.u32("ipma");
    for (std::uint32_t e = 0; e < entries && !reader.atEnd(); ++e) {
        const auto id = static_cast<std::uint32_t>(reader.number(version < 1 ? 2 : 4, "ipma"));
        std::vector<std::uint32_t> properties;
        const std::uint32_t count = reader.u8("ipma");
        for (std::uint32_t a = 0; a < count; ++a) {
            properties.push_back((flags & 1) ? reader.u16("ipma") & 0x7FFF
                                             : reader.u8("ipma") & 0x7F);
        }
        Item& item = meta.items[id];
        if (!item.properties) {
            item.properties = std::move(properties);
        }
    }
}

void readProperties(Span iprp, Meta& meta) {
    bool ipco = false;
    for (const Box& box : boxesIn(iprp)) {
        if (box.type == fourcc("ipco") && !ipco) {
            meta.properties = boxesIn(box.body);
            ipco = true;
        } else if (box.type == fourcc("ipma")) {
            readAssociations(box.body, meta);  // libheif joins them all
        }
    }
}

// A field of iloc: libheif reads 4 or 8 bytes and takes any other size as
// no field at all.
std::uint64_t ilocField(Reader& reader, std::size_t size) {
    return size == 4 || size == 8 ? reader.number(size, "iloc") : 0;
}

void readLocations(Span iloc, Meta& meta) {
    std::uint32_t version = 0, flags = 0;
    Reader reader(fullBody(iloc, version, flags));
    const std::uint32_t sizes = reader.u16("iloc");
    const std::size_t offsetSize = sizes >> 12, lengthSize = sizes >> 8 & 15;
    const std::size_t baseSize = sizes >> 4 & 15;
    const std::size_t indexSize = version > 1 ? (sizes & 15) : 0;  // libheif: not for version 1
    const std::size_t idSize = version < 2 ? 2 : 4;
    const std::uint64_t count = reader.number(idSize, "iloc");
    for (std::uint64_t i = 0; i < count; ++i) {
        const auto id = static_cast<std::uint32_t>(reader.number(idSize, "iloc"));
        const std::uint32_t construction = version >= 1 ? reader.u16("iloc") & 15 : 0;
        reader.u16("iloc");  // data_reference_index
        const std::uint64_t base = ilocField(reader, baseSize);
        std::vector<Extent> extents;
        const std::uint32_t extentCount = reader.u16("iloc");
        for (std::uint32_t e = 0; e < extentCount; ++e) {
            ilocField(reader, indexSize);
            const std::uint64_t offset = ilocField(reader, offsetSize);
            const std::uint64_t length = ilocField(reader, lengthSize);
            if (offset > UINT64_MAX - base) {
                throw Unreadable{"iloc"};
            }
            extents.push_back({base + offset, length});
        }
        Item& item = meta.items[id];
        if (!item.extents) {
            item.construction = construction;
            item.extents = std::move(extents);
        }
    }
}

Meta readMeta(Span file) {
    const std::optional<Box> metaBox = topLevelBox(file, fourcc("meta"));
    if (!metaBox) {
        throw Unreadable{"meta"};
    }
    std::uint32_t version = 0, flags = 0;
    Meta meta;
    std::vector<std::uint32_t> seen;
    for (const Box& box : boxesIn(fullBody(metaBox->body, version, flags))) {
        if (std::find(seen.begin(), seen.end(), box.type) != seen.end()) {
            continue;
        }
        seen.push_back(box.type);
        if (box.type == fourcc("iinf")) {
            readItemTypes(box.body, meta);
        } else if (box.type == fourcc("iprp")) {
            readProperties(box.body, meta);
        } else if (box.type == fourcc("iloc")) {
            readLocations(box.body, meta);
        } else if (box.type == fourcc("idat")) {
            meta.idat = box.body;
        }
    }
    return meta;
}

// The item's data, as libheif reads it; extents outside the file or idat
// are left for libheif to refuse.
std::vector<std::uint8_t> dataOf(const Item& item, Span file, const Meta& meta) {
    const Span from = item.construction == 1 ? meta.idat : file;
    std::vector<std::uint8_t> data;
    for (const Extent& extent : item.extents.value_or(std::vector<Extent>{})) {
        if (item.construction > 1 || extent.offset > from.size ||
            extent.length > from.size - extent.offset) {
            return {};
        }
        data.insert(data.end(), from.data + extent.offset,
                    from.data + extent.offset + extent.length);
    }
    return data;
}

std::string sizeText(std::uint64_t width, std::uint64_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

[[noreturn]] void refuse(std::uint32_t id, const std::string& what) {
    throw Error(ErrorReason::Damaged, "HEIF: picture item " + std::to_string(id) + " " + what);
}

// The sizes an item's data would decode to, by its kind.
std::vector<Size> codedSizes(const Item& item, const std::vector<const Box*>& properties,
                             const std::vector<std::uint8_t>& data) {
    std::vector<Size> sizes;
    const Span stream{data.data(), data.size()};
    if (item.type == fourcc("hvc1")) {
        for (const Box* property : properties) {
            if (property->type == fourcc("hvcC")) {
                hevcSizesInConfig(property->body, sizes);
            }
        }
        hevcSizesIn(stream, sizes);
    } else if (item.type == fourcc("av01")) {
        for (const Box* property : properties) {
            if (property->type == fourcc("av1C") && property->body.size >= 4) {
                av1SizesIn({property->body.data + 4, property->body.size - 4}, sizes);
            }
        }
        av1SizesIn(stream, sizes);
    } else if (!data.empty()) {  // grid or iovl: version, flags, then its own fields
        Reader reader(stream);
        reader.u8("a derived picture");
        const bool wide = (reader.u8("a derived picture") & 1) != 0;
        reader.take(item.type == fourcc("grid") ? 2 : 8, "a derived picture");
        const std::uint64_t width = reader.number(wide ? 4 : 2, "a derived picture");
        sizes.push_back({width, reader.number(wide ? 4 : 2, "a derived picture")});
    }
    return sizes;
}

void checkItem(std::uint32_t id, const Item& item, Span file, const Meta& meta,
               std::uint64_t maxPixels) {
    std::vector<const Box*> properties;
    std::optional<Size> declared;
    for (const std::uint32_t index : item.properties.value_or(std::vector<std::uint32_t>{})) {
        if (index == 0 || index > meta.properties.size()) {
            continue;  // libheif refuses those itself
        }
        const Box& property = meta.properties[index - 1];
        properties.push_back(&property);
        if (property.type == fourcc("ispe")) {
            std::uint32_t version = 0, flags = 0;
            Reader reader(fullBody(property.body, version, flags));
            const std::uint64_t width = reader.u32("ispe");
            declared = Size{width, reader.u32("ispe")};  // the last one counts, as for libheif
        }
    }
    if (!declared) {
        refuse(id, "has no declared size");
    }
    if (declared->width * declared->height > maxPixels) {
        refuse(id, "declares " + sizeText(declared->width, declared->height) +
                       " pixels, more than the picture it belongs to needs");
    }
    const bool derived = item.type == fourcc("grid") || item.type == fourcc("iovl");
    const std::uint64_t padding = derived ? 0 : kCodingBlock;
    for (const Size& coded : codedSizes(item, properties, dataOf(item, file, meta))) {
        if (coded.width > declared->width + padding || coded.height > declared->height + padding) {
            refuse(id, std::string(derived ? "is laid out as " : "is coded as ") +
                           sizeText(coded.width, coded.height) + " pixels but declares " +
                           sizeText(declared->width, declared->height));
        }
    }
}

}  // namespace

void checkHeifDeclaredSizes(const std::uint8_t* data, std::size_t size,
                            std::uint64_t primaryPixels) {
    const Span file{data, size};
    try {
        const Meta meta = readMeta(file);
        const std::uint64_t maxPixels = std::max(primaryPixels, kMaxItemPixels);
        for (const auto& [id, item] : meta.items) {
            const std::uint32_t type = item.type.value_or(0);
            if (type == fourcc("hvc1") || type == fourcc("av01") || type == fourcc("grid") ||
                type == fourcc("iovl")) {
                checkItem(id, item, file, meta, maxPixels);
            }
        }
    } catch (const Unreadable& unreadable) {
        throw Error(ErrorReason::Damaged,
                    std::string("HEIF: its boxes can't be read (") + unreadable.what + ")");
    }
}

}  // namespace folder2pdf
