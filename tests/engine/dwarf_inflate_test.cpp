// The zlib inflater: the compressed sections of the -gz objects (fixed and dynamic Huffman
// blocks), stored and fixed blocks built here, and streams that are cut short, damaged or
// lie about their size.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/diagnostics.h"
#include "engine/dwarf/inflate.h"
#include "engine/elf_reader.h"
#include "engine/input_stream.h"

namespace quorv::dwarf {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kDwarfData = fs::path(QUORV_TEST_DATA_DIR) / "dwarf";

std::uint32_t adler32(const Bytes& data) {
    std::uint32_t a = 1, b = 0;
    for (const std::uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

// A deflate stream's bits, low first; Huffman codes go in most significant bit first.
class BitWriter {
  public:
    void bits(std::uint32_t value, int count) {
        for (int k = 0; k < count; ++k) put((value >> k) & 1u);
    }
    void code(std::uint32_t value, int length) {
        for (int k = length - 1; k >= 0; --k) put((value >> k) & 1u);
    }
    // The fixed code of a literal or length symbol (RFC 1951 3.2.6).
    void fixed_symbol(unsigned s) {
        if (s < 144)
            code(0x30 + s, 8);
        else if (s < 256)
            code(0x190 + s - 144, 9);
        else if (s < 280)
            code(s - 256, 7);
        else
            code(0xC0 + s - 280, 8);
    }
    Bytes finish() {
        if (used_ > 0) out_.push_back(byte_);
        return out_;
    }

  private:
    void put(std::uint32_t bit) {
        byte_ |= static_cast<std::uint8_t>(bit << used_);
        if (++used_ == 8) {
            out_.push_back(byte_);
            byte_ = 0;
            used_ = 0;
        }
    }
    Bytes out_;
    std::uint8_t byte_ = 0;
    int used_ = 0;
};

Bytes zlib_stream(const Bytes& deflate, const Bytes& content) {
    Bytes out;
    out.reserve(deflate.size() + 6);  // GCC 12 misjudges growing a two-byte vector at -O3
    out.push_back(0x78);
    out.push_back(0x01);
    out.insert(out.end(), deflate.begin(), deflate.end());
    const std::uint32_t check = adler32(content);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(check >> shift));
    return out;
}

// "abcabcabcabc!": three literals, a match of 9 at distance 3 (it overlaps what it copies),
// a literal, the end of the block.
Bytes fixed_block_stream(const Bytes& content) {
    BitWriter w;
    w.bits(1, 1);  // final
    w.bits(1, 2);  // fixed Huffman
    for (const char c : std::string("abc")) w.fixed_symbol(static_cast<unsigned char>(c));
    w.fixed_symbol(257 + 9 - 3);  // lengths 3..10 are codes 257..264
    w.code(3 - 1, 5);             // distances 1..4 are codes 0..3
    w.fixed_symbol('!');
    w.fixed_symbol(256);
    return zlib_stream(w.finish(), content);
}

// Two stored blocks, the first not final.
Bytes stored_blocks_stream(const Bytes& first, const Bytes& second) {
    Bytes deflate;
    for (const Bytes* part : {&first, &second}) {
        deflate.push_back(part == &second ? 1 : 0);
        const auto length = static_cast<std::uint16_t>(part->size());
        for (const std::uint16_t v : {length, static_cast<std::uint16_t>(~length)}) {
            deflate.push_back(static_cast<std::uint8_t>(v));
            deflate.push_back(static_cast<std::uint8_t>(v >> 8));
        }
        deflate.insert(deflate.end(), part->begin(), part->end());
    }
    Bytes content = first;
    content.insert(content.end(), second.begin(), second.end());
    return zlib_stream(deflate, content);
}

struct Compressed {
    Bytes stream;
    Bytes content;
};

Bytes file_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The compressed sections of gf64/chars_gz.o (.debug_info is a fixed block, .debug_abbrev a
// dynamic one), with the plain ones of gf64/chars.o, which hold the same bytes.
std::vector<Compressed> real_streams() {
    std::vector<Compressed> out;
    Bytes gz = file_bytes(kDwarfData / "gf64" / "chars_gz.o"), plain = file_bytes(kDwarfData / "gf64" / "chars.o");
    CollectingSink sink;
    const Diagnostics diagnostics(sink);
    const FileEntry entry{"chars", "chars", 0};
    MemoryStream gz_stream(gz), plain_stream(plain);
    ElfWorkingSet gz_work, plain_work;
    EXPECT_EQ(read_elf_module(diagnostics, gz_stream, entry, 0, gz.size(), gz_work), 0);
    EXPECT_EQ(read_elf_module(diagnostics, plain_stream, entry, 0, plain.size(), plain_work), 0);
    for (const SectionId id : {kInfo, kAbbrev}) {
        const Section& section = gz_work.debug.sections[id];
        EXPECT_TRUE(section.compressed);
        const std::size_t chdr = 24;  // Elf64_Chdr
        const auto bytes = plain_work.debug.sections[id].bytes;
        out.push_back({Bytes(section.bytes.begin() + chdr, section.bytes.end()), Bytes(bytes.begin(), bytes.end())});
    }
    return out;
}

TEST(DwarfInflate, StreamsOfEveryBlockType) {
    const Bytes abc = {'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', '!'};
    std::vector<Compressed> streams = real_streams();
    streams.push_back({fixed_block_stream(abc), abc});
    streams.push_back({stored_blocks_stream({1, 2, 3}, {4, 5}), {1, 2, 3, 4, 5}});
    streams.push_back({stored_blocks_stream({}, {}), {}});
    ASSERT_EQ(streams[0].stream[2] >> 1 & 3, 1);  // the real .debug_info: fixed
    ASSERT_EQ(streams[1].stream[2] >> 1 & 3, 2);  // the real .debug_abbrev: dynamic
    for (const Compressed& c : streams) {
        InflatedBytes out;
        EXPECT_TRUE(inflate_zlib(c.stream, c.content.size(), out));
        EXPECT_EQ(Bytes(out.begin(), out.end()), c.content);
        // A declared size one off either way is a lie.
        EXPECT_FALSE(inflate_zlib(c.stream, c.content.size() + 1, out));
        if (!c.content.empty()) {
            EXPECT_FALSE(inflate_zlib(c.stream, c.content.size() - 1, out));
        }
    }
}

TEST(DwarfInflate, EveryCutAndEveryDamagedHeaderFails) {
    for (const Compressed& c : real_streams()) {
        for (std::size_t keep = 0; keep < c.stream.size(); ++keep) {
            InflatedBytes out;
            EXPECT_FALSE(inflate_zlib(std::span(c.stream).first(keep), c.content.size(), out)) << keep;
        }
        // Header damages keep CMF * 256 + FLG a multiple of 31 but the one they name.
        struct Damage {
            const char* what;
            std::size_t at;
            std::vector<std::uint8_t> bytes;
        };
        const Damage damages[] = {
            {"method 7, not deflate", 0, {0x77, 0x09}},
            {"window past 32 KB", 0, {0x88, 0x1C}},
            {"header check", 1, {0x02}},
            {"preset dictionary", 1, {0xBB}},
            {"block type 3", 2, {static_cast<std::uint8_t>(c.stream[2] | 0x06)}},
            {"checksum", c.stream.size() - 1, {static_cast<std::uint8_t>(c.stream.back() ^ 1)}},
        };
        for (const Damage& d : damages) {
            Bytes damaged = c.stream;
            std::copy(d.bytes.begin(), d.bytes.end(), damaged.begin() + static_cast<std::ptrdiff_t>(d.at));
            InflatedBytes out;
            EXPECT_FALSE(inflate_zlib(damaged, c.content.size(), out)) << d.what;
        }
    }
}

TEST(DwarfInflate, BadStoredLengthsAndDistancesFail) {
    Bytes stored = stored_blocks_stream({1, 2, 3}, {4, 5});
    stored[4] ^= 1;  // NLEN no longer LEN's complement
    InflatedBytes out;
    EXPECT_FALSE(inflate_zlib(stored, 5, out));

    BitWriter w;  // a match before any output
    w.bits(1, 1);
    w.bits(1, 2);
    w.fixed_symbol(257);
    w.code(0, 5);
    w.fixed_symbol(256);
    EXPECT_FALSE(inflate_zlib(zlib_stream(w.finish(), {}), 3, out));
}

// Length codes 257..285 and distance codes 0..29: base and extra bits (RFC 1951 3.2.5).
constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                             33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                             1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// A fixed-code block of literals and one match, and the content it makes: matches near and
// far, overlapping what they copy or not, at the output's end or before more literals.
struct Match {
    std::size_t distance, length;
    bool at_end;
};

Bytes match_stream(const Match& m, Bytes& content) {
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    content.clear();
    const auto literal = [&](std::uint8_t byte) {
        w.fixed_symbol(byte);
        content.push_back(byte);
    };
    for (std::size_t k = 0; k < m.distance + 5; ++k) literal(static_cast<std::uint8_t>(k * 37 + 11));
    unsigned lc = 28;
    while (kLengthBase[lc] > m.length) --lc;
    w.fixed_symbol(257 + lc);
    w.bits(static_cast<std::uint32_t>(m.length - kLengthBase[lc]), kLengthExtra[lc]);
    unsigned dc = 29;
    while (kDistanceBase[dc] > m.distance) --dc;
    w.code(dc, 5);
    w.bits(static_cast<std::uint32_t>(m.distance - kDistanceBase[dc]), kDistanceExtra[dc]);
    for (std::size_t k = 0; k < m.length; ++k) content.push_back(content[content.size() - m.distance]);
    if (!m.at_end)
        for (std::size_t k = 0; k < 40; ++k) literal(static_cast<std::uint8_t>(k * 13 + 5));
    w.fixed_symbol(256);
    return zlib_stream(w.finish(), content);
}

TEST(DwarfInflate, MatchesOfEveryDistanceAndLengthCopyWhatTheyName) {
    int cases = 0;
    for (const std::size_t distance : {1, 2, 3, 7, 8, 9, 15, 16, 17, 100, 300})
        for (const std::size_t length : {3, 7, 8, 9, 15, 16, 17, 64, 257, 258})
            for (const bool at_end : {true, false}) {
                Bytes content;
                const Bytes stream = match_stream({distance, length, at_end}, content);
                InflatedBytes out;
                EXPECT_TRUE(inflate_zlib(stream, content.size(), out)) << distance << " " << length << " " << at_end;
                EXPECT_EQ(Bytes(out.begin(), out.end()), content) << distance << " " << length << " " << at_end;
                ++cases;
            }
    EXPECT_EQ(cases, 220);
}

TEST(DwarfInflate, TheOutputGrowsWithWhatIsProducedNotWithTheDeclaredSize) {
    const Compressed c = real_streams()[0];
    InflatedBytes out;
    EXPECT_FALSE(inflate_zlib(c.stream, std::uint64_t{1} << 40, out));
    EXPECT_LT(out.capacity(), std::size_t{1} << 20);
}

// Canonical Huffman codes from code lengths (RFC 1951 3.2.2), for a writer of blocks.
std::vector<std::uint32_t> canonical_codes(const std::vector<std::uint8_t>& lengths) {
    std::uint32_t count[16] = {}, next[16] = {};
    for (const std::uint8_t len : lengths) ++count[len];
    count[0] = 0;
    for (unsigned len = 1, code = 0; len < 16; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    std::vector<std::uint32_t> codes(lengths.size());
    for (std::size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s] != 0) codes[s] = next[lengths[s]]++;
    return codes;
}

// Lengths of a complete code over n symbols as lopsided as it gets: each step halves the
// shortest code that can still be halved, so that most symbols end up 14 or 15 bits long.
std::vector<std::uint8_t> lopsided_lengths(std::size_t n) {
    std::vector<std::uint32_t> units = {1u << 14, 1u << 14};  // in 2^-15 of the code space
    while (units.size() < n) {
        auto smallest = std::min_element(units.begin(), units.end(), [](std::uint32_t a, std::uint32_t b) {
            return (a > 1 ? a : ~0u) < (b > 1 ? b : ~0u);
        });
        *smallest /= 2;
        units.push_back(*smallest);
    }
    std::vector<std::uint8_t> lengths;
    for (const std::uint32_t u : units) lengths.push_back(static_cast<std::uint8_t>(15 - std::countr_zero(u)));
    return lengths;
}

// One block (fixed or dynamic) of pseudo-random literals and matches of every length and
// distance code, long enough that most of it inflates in the decoder's quick loop, and the
// content it makes.
Bytes long_block_stream(bool dynamic, std::uint32_t seed, Bytes& content) {
    std::vector<std::uint8_t> literal_lengths(288), distance_lengths(30, 5);
    if (dynamic) {
        // The length codes take the shortest codes (1 bit on), the end code the next, the
        // literals the rest (14 and 15 bits): matches decode from the quick loop's table,
        // most literals and the longer length codes past it. Distance codes of 1 to 15 bits.
        std::vector<std::uint8_t> lopsided = lopsided_lengths(286);
        std::sort(lopsided.begin(), lopsided.end());
        literal_lengths.resize(286);
        std::size_t taken = 0;
        for (std::size_t s = 257; s < 286; ++s) literal_lengths[s] = lopsided[taken++];
        literal_lengths[256] = lopsided[taken++];
        for (std::size_t s = 0; s < 256; ++s) literal_lengths[s] = lopsided[taken++];
        distance_lengths = lopsided_lengths(30);
    } else {
        std::fill(literal_lengths.begin(), literal_lengths.begin() + 144, std::uint8_t{8});
        std::fill(literal_lengths.begin() + 144, literal_lengths.begin() + 256, std::uint8_t{9});
        std::fill(literal_lengths.begin() + 256, literal_lengths.begin() + 280, std::uint8_t{7});
        std::fill(literal_lengths.begin() + 280, literal_lengths.end(), std::uint8_t{8});
    }
    const std::vector<std::uint32_t> literal_codes = canonical_codes(literal_lengths),
                                     distance_codes = canonical_codes(distance_lengths);
    BitWriter w;
    w.bits(1, 1);
    w.bits(dynamic ? 2 : 1, 2);
    if (dynamic) {
        // Code length codes 0..15, four bits each: symbol s has code s.
        w.bits(286 - 257, 5);
        w.bits(30 - 1, 5);
        w.bits(19 - 4, 4);
        constexpr std::uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        for (const std::uint8_t symbol : kOrder) w.bits(symbol < 16 ? 4 : 0, 3);
        for (const std::uint8_t len : literal_lengths) w.code(len, 4);
        for (const std::uint8_t len : distance_lengths) w.code(len, 4);
    }
    std::uint32_t state = seed;
    const auto next = [&state](std::uint32_t below) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % below;
    };
    content.clear();
    while (content.size() < 120000) {
        if (content.empty() || next(3) == 0) {
            const auto byte = static_cast<std::uint8_t>(next(256));
            w.code(literal_codes[byte], literal_lengths[byte]);
            content.push_back(byte);
            continue;
        }
        const unsigned lc = next(29), dc = next(30);
        const std::size_t length = kLengthBase[lc] + next(1u << kLengthExtra[lc]);
        std::size_t distance = kDistanceBase[dc] + next(1u << kDistanceExtra[dc]);
        if (distance > content.size())
            distance = 1 + next(static_cast<std::uint32_t>(std::min<std::size_t>(content.size(), 8)));
        unsigned code = 29;
        while (kDistanceBase[code] > distance) --code;
        w.code(literal_codes[257 + lc], literal_lengths[257 + lc]);
        w.bits(static_cast<std::uint32_t>(length - kLengthBase[lc]), kLengthExtra[lc]);
        w.code(distance_codes[code], distance_lengths[code]);
        w.bits(static_cast<std::uint32_t>(distance - kDistanceBase[code]), kDistanceExtra[code]);
        for (std::size_t k = 0; k < length; ++k) content.push_back(content[content.size() - distance]);
    }
    w.code(literal_codes[256], literal_lengths[256]);
    return zlib_stream(w.finish(), content);
}

TEST(DwarfInflate, LongBlocksOfEveryCodeInflateAsWritten) {
    const std::vector<std::uint8_t> lopsided = lopsided_lengths(286);
    ASSERT_EQ(*std::max_element(lopsided.begin(), lopsided.end()), 15);
    for (const bool dynamic : {false, true})
        for (const std::uint32_t seed : {1u, 2u, 3u}) {
            Bytes content;
            const Bytes stream = long_block_stream(dynamic, seed, content);
            InflatedBytes out;
            ASSERT_TRUE(inflate_zlib(stream, content.size(), out)) << dynamic << " " << seed;
            EXPECT_TRUE(std::equal(out.begin(), out.end(), content.begin(), content.end())) << dynamic << " " << seed;
            // Declared a byte short or long, or cut anywhere (near the end too, where the
            // quick loop hands over to careful steps), it fails.
            EXPECT_FALSE(inflate_zlib(stream, content.size() - 1, out));
            EXPECT_FALSE(inflate_zlib(stream, content.size() + 1, out));
            for (std::size_t keep = 0; keep < stream.size(); keep += keep + 20 < stream.size() ? 4099 : 1)
                EXPECT_FALSE(inflate_zlib(std::span(stream).first(keep), content.size(), out)) << keep;
        }
}

}  // namespace
}  // namespace quorv::dwarf
