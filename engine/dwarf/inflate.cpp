#include "engine/dwarf/inflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace quorv::dwarf {
namespace {

// zlib header: CMF (low four bits CM = 8 deflate, high four CINFO <= 7: window 2^(CINFO + 8)),
// FLG (bit 5 FDICT; CMF * 256 + FLG a multiple of 31); the deflate data; Adler-32 of the
// output, big-endian.
constexpr std::size_t kZlibHeaderSize = 2;
constexpr std::size_t kAdlerSize = 4;
constexpr std::uint8_t kMethodDeflate = 8;
constexpr std::uint8_t kPresetDictionary = 0x20;

constexpr unsigned kMaxCodeLength = 15;
// Codes up to these lengths are decoded with one table look-up: nearly every literal or
// length code, every distance code of real data, and every code length code (7 bits at most).
constexpr unsigned kLiteralFastBits = 11;
constexpr unsigned kDistanceFastBits = 8;
constexpr unsigned kCodeLengthFastBits = 7;
constexpr std::size_t kLiteralCodes = 288;
constexpr std::size_t kDistanceCodes = 30;
constexpr std::size_t kCodeLengthCodes = 19;
constexpr int kEndOfBlock = 256;
constexpr std::size_t kLongestMatch = 258;

// Length codes 257..285 and distance codes 0..29: base value and extra bits (RFC 1951 3.2.5).
constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistanceBase[kDistanceCodes] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                                         33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                                         1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistanceExtra[kDistanceCodes] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::uint8_t kCodeLengthOrder[kCodeLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                             11, 4,  12, 3, 13, 2, 14, 1, 15};

// Each byte with its bits in reverse order: Huffman codes are packed most significant bit
// first, into a stream read low bit first.
constexpr auto kReversedBits = [] {
    std::array<std::uint8_t, 256> r{};
    for (unsigned v = 0; v < 256; ++v)
        for (unsigned b = 0; b < 8; ++b) r[v] |= static_cast<std::uint8_t>(((v >> b) & 1u) << (7 - b));
    return r;
}();

// Eight bytes, the first lowest.
std::uint64_t load_little64(const std::uint8_t* p) {
    std::uint64_t word = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&word, p, 8);
    } else {
        for (unsigned k = 0; k < 8; ++k) word |= std::uint64_t{p[k]} << (8 * k);
    }
    return word;
}

// Bits low first, as deflate packs them. Past the end of the input it delivers zeros, so a
// decoder may look ahead freely; overrun() tells when it has used any of them.
class BitReader {
  public:
    explicit BitReader(std::span<const std::uint8_t> in) : in_(in) {}

    std::uint32_t peek(unsigned n) {
        if (count_ < n) refill();
        return static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << n) - 1));
    }
    void drop(unsigned n) {
        bits_ >>= n;
        count_ -= n;
    }
    std::uint32_t take(unsigned n) {
        const std::uint32_t value = peek(n);
        drop(n);
        return value;
    }
    // The bits at hand, without a refill; at least what the last refill promised.
    std::uint64_t bits() const { return bits_; }
    void align_to_byte() { drop(count_ % 8); }
    // Eight more bytes lie in the input: refill_fast() may load them without a check, and
    // every bit it delivers is the input's.
    bool can_refill_fast() const { return in_.size() >= 8 && position_ <= in_.size() - 8; }
    // At least 56 bits at hand after it.
    void refill_fast() {
        bits_ |= load_little64(in_.data() + position_) << count_;
        position_ += (63 - count_) / 8;
        count_ |= 56;
    }
    // Bytes consumed so far, whole bytes only (after align_to_byte).
    std::uint64_t bytes_used() const { return position_ - count_ / 8; }
    // More bits consumed than the input holds: the decoder read the zeros past its end.
    bool overrun() const { return position_ * 8 - count_ > std::uint64_t{in_.size()} * 8; }

    // After align_to_byte: the next count bytes of a stored block, or false when the input
    // holds fewer.
    bool copy_bytes(std::size_t count, std::uint8_t* out) {
        while (count > 0 && count_ >= 8) {
            *out++ = static_cast<std::uint8_t>(take(8));
            --count;
        }
        if (count == 0) return true;
        // The bit buffer is empty now; what a refill left above its count belongs to the
        // bytes copied next, and must not meet the bytes after them.
        bits_ = 0;
        if (count > in_.size() - std::min<std::uint64_t>(position_, in_.size())) return false;
        std::memcpy(out, in_.data() + position_, count);
        position_ += count;
        return true;
    }

  private:
    // Up to 56 bits and more: eight bytes in one go while the input has them, else byte by
    // byte. The bits above count_ are those of the bytes from position_ on, so a later
    // refill ORs the same bits over them.
    void refill() {
        if (can_refill_fast()) {
            refill_fast();
            return;
        }
        while (count_ <= 56) {
            const std::uint64_t byte = position_ < in_.size() ? in_[position_] : 0;
            ++position_;
            bits_ |= byte << count_;
            count_ += 8;
        }
    }

    std::span<const std::uint8_t> in_;
    std::uint64_t position_ = 0;  // the next byte to load into bits_
    std::uint64_t bits_ = 0;
    unsigned count_ = 0;
};

// A canonical Huffman code: codes of each length, symbols in code order, and a table of the
// codes up to FastBits long indexed by the next input bits.
template <unsigned FastBits>
struct Huffman {
    static constexpr std::uint32_t kFastMask = (1u << FastBits) - 1;
    std::uint16_t count[kMaxCodeLength + 1];
    std::uint16_t symbol[kLiteralCodes];
    std::uint16_t fast[1u << FastBits];  // symbol << 4 | length; 0 when the code is longer
};

// 0 complete, > 0 incomplete, < 0 over-subscribed (no code can be built).
template <unsigned FastBits>
int build(Huffman<FastBits>& h, const std::uint8_t* lengths, std::size_t n) {
    std::fill(std::begin(h.count), std::end(h.count), std::uint16_t{0});
    for (std::size_t s = 0; s < n; ++s) ++h.count[lengths[s]];
    int left = 1;
    bool longer = false;  // codes past the table, whose first bits leave entries empty
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
        left = 2 * left - h.count[len];
        if (left < 0) return left;
        longer |= len > FastBits && h.count[len] != 0;
    }
    // Every entry is written when the code is complete and fits the table; else the ones
    // left must read as no code.
    if (h.count[0] == n || left != 0 || longer) std::memset(h.fast, 0, sizeof h.fast);
    if (h.count[0] == n) return 0;  // no codes: complete, and every decode fails
    std::uint16_t offsets[kMaxCodeLength + 2] = {};
    std::uint32_t next_code[kMaxCodeLength + 2] = {};
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
        offsets[len + 1] = static_cast<std::uint16_t>(offsets[len] + h.count[len]);
        next_code[len + 1] = (next_code[len] + h.count[len]) << 1;
    }
    for (std::size_t s = 0; s < n; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) continue;
        h.symbol[offsets[len]++] = static_cast<std::uint16_t>(s);
        const std::uint32_t code = next_code[len]++;
        if (len > FastBits) continue;
        const std::uint32_t reversed =
            (std::uint32_t{kReversedBits[code & 0xFFu]} << 8 | kReversedBits[code >> 8 & 0xFFu]) >> (16 - len);
        const auto entry = static_cast<std::uint16_t>(s << 4 | len);
        for (std::uint32_t k = reversed; k <= Huffman<FastBits>::kFastMask; k += 1u << len) h.fast[k] = entry;
    }
    return left;
}

// A code longer than the table, or none: walked length by length from its first bits.
template <unsigned FastBits>
int decode_long(BitReader& in, const Huffman<FastBits>& h, std::uint32_t bits) {
    int code = 0, first = 0, index = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
        code |= static_cast<int>((bits >> (len - 1)) & 1u);
        const int count = h.count[len];
        if (code - count < first) {
            in.drop(len);
            return h.symbol[index + (code - first)];
        }
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    return -1;
}

// The next symbol, or -1 when the bits form no code. Always inline: the callers keep the
// bit reader in registers, which a call would make them store.
template <unsigned FastBits>
#if defined(__GNUC__)
[[gnu::always_inline]]
#endif
inline int
decode(BitReader& in, const Huffman<FastBits>& h) {
    const std::uint32_t bits = in.peek(kMaxCodeLength);
    if (const std::uint16_t entry = h.fast[bits & Huffman<FastBits>::kFastMask]; entry != 0) {
        in.drop(entry & 15u);
        return entry >> 4;
    }
    return decode_long(in, h, bits);
}

// Deflate allows an incomplete code only when it is a single code of length 1.
template <unsigned FastBits>
bool acceptable(int built, const Huffman<FastBits>& h, std::size_t n) {
    return built == 0 || (built > 0 && n == std::size_t{h.count[0]} + h.count[1]);
}

class Inflater {
  public:
    Inflater(std::span<const std::uint8_t> in, std::uint64_t limit, InflatedBytes& out)
        : in_(in), limit_(limit), out_(out) {}

    bool run() {
        for (bool last = false; !last;) {
            last = in_.take(1) != 0;
            const std::uint32_t type = in_.take(2);
            const bool ok = type == 0 ? stored() : type == 1 ? fixed() : type == 2 ? dynamic() : false;
            if (!ok || in_.overrun()) return false;
        }
        in_.align_to_byte();
        return true;
    }
    std::uint64_t bytes_used() const { return in_.bytes_used(); }
    // The output's length: the buffer is cut to it.
    void finish() { out_.resize(size_); }

  private:
    bool room(std::uint64_t count) const { return count <= limit_ - size_; }

    bool stored() {
        in_.align_to_byte();
        const std::uint32_t length = in_.take(16), complement = in_.take(16);
        if ((length ^ 0xFFFFu) != complement || !make_room(length)) return false;
        if (!in_.copy_bytes(length, out_.data() + size_)) return false;
        size_ += length;
        return true;
    }

    bool fixed() {
        std::uint8_t lengths[kLiteralCodes];
        std::fill(lengths, lengths + 144, std::uint8_t{8});
        std::fill(lengths + 144, lengths + 256, std::uint8_t{9});
        std::fill(lengths + 256, lengths + 280, std::uint8_t{7});
        std::fill(lengths + 280, lengths + kLiteralCodes, std::uint8_t{8});
        build(literals_, lengths, kLiteralCodes);
        std::fill(lengths, lengths + kDistanceCodes, std::uint8_t{5});
        build(distances_, lengths, kDistanceCodes);
        return codes();
    }

    // The code lengths of a dynamic block, themselves Huffman-coded (RFC 1951 3.2.7).
    bool dynamic() {
        const std::size_t nlen = in_.take(5) + 257, ndist = in_.take(5) + 1, ncode = in_.take(4) + 4;
        if (nlen > 286 || ndist > kDistanceCodes) return false;
        std::uint8_t lengths[kLiteralCodes + kDistanceCodes] = {};
        for (std::size_t k = 0; k < ncode; ++k) lengths[kCodeLengthOrder[k]] = static_cast<std::uint8_t>(in_.take(3));
        Huffman<kCodeLengthFastBits>& lencode = code_lengths_;
        if (build(lencode, lengths, kCodeLengthCodes) != 0) return false;
        std::fill(std::begin(lengths), std::end(lengths), std::uint8_t{0});
        for (std::size_t k = 0; k < nlen + ndist;) {
            const int symbol = decode(in_, lencode);
            if (symbol < 0 || in_.overrun()) return false;
            if (symbol < 16) {
                lengths[k++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            if (symbol == 16 && k == 0) return false;
            const std::uint8_t value = symbol == 16 ? lengths[k - 1] : 0;
            const std::size_t repeat = symbol == 16   ? 3 + in_.take(2)
                                       : symbol == 17 ? 3 + in_.take(3)
                                                      : 11 + in_.take(7);
            if (repeat > nlen + ndist - k) return false;
            std::fill(lengths + k, lengths + k + repeat, value);
            k += repeat;
        }
        if (lengths[kEndOfBlock] == 0) return false;
        if (!acceptable(build(literals_, lengths, nlen), literals_, nlen)) return false;
        if (!acceptable(build(distances_, lengths + nlen, ndist), distances_, ndist)) return false;
        return codes();
    }

    // Literals and back-references until the end-of-block code. The bit reader and the
    // output's end are kept in locals: a byte written through a pointer could be any object,
    // and members would be read again after every byte.
    bool codes() {
        BitReader in = in_;
        std::uint8_t* out = out_.data();
        std::size_t size = size_, room = out_.size();
        const auto done = [&](bool ok) {
            in_ = in;
            size_ = size;
            return ok;
        };
        // Room for count more bytes: out and room follow the buffer when it grows.
        const auto make = [&](std::size_t count) {
            if (count <= room - size) return true;
            size_ = size;
            if (!make_room(count)) return false;
            out = out_.data();
            room = out_.size();
            return true;
        };
        // The room a step of the quick loop may write: the longest match and the eight
        // bytes its copy may pass it by.
        constexpr std::size_t kStepRoom = kLongestMatch + 8;
        for (;;) {
            // The quick loop: with eight bytes of input and a step's room ahead, a refill
            // delivers only the input's bits and no step can pass the room, so neither is
            // checked a symbol. One refill (56 bits) holds a whole match: a length code (15
            // bits) with its extra bits (5) and a distance code (15) with its extra bits (13).
            if (room - size < kStepRoom && size + kStepRoom <= limit_) make(kStepRoom);
            while (room - size >= kStepRoom && in.can_refill_fast()) {
                in.refill_fast();
                const std::uint16_t entry = literals_.fast[in.bits() & decltype(literals_)::kFastMask];
                if (entry == 0) break;  // a code past the table: the careful step below
                in.drop(entry & 15u);
                const unsigned symbol = entry >> 4;
                if (symbol < kEndOfBlock) {
                    out[size++] = static_cast<std::uint8_t>(symbol);
                    continue;
                }
                if (symbol == kEndOfBlock) return done(true);
                const unsigned length_code = symbol - 257;
                if (length_code >= 29) return done(false);
                const unsigned length_extra = kLengthExtra[length_code];
                const std::size_t length =
                    kLengthBase[length_code] + static_cast<std::uint32_t>(in.bits() & ((1u << length_extra) - 1));
                in.drop(length_extra);
                int distance_code;
                if (const std::uint16_t d = distances_.fast[in.bits() & decltype(distances_)::kFastMask]; d != 0) {
                    in.drop(d & 15u);
                    distance_code = d >> 4;
                } else {
                    distance_code = decode_long(in, distances_, static_cast<std::uint32_t>(in.bits()));
                    if (distance_code < 0) return done(false);
                }
                if (distance_code >= static_cast<int>(kDistanceCodes)) return done(false);
                const unsigned distance_extra = kDistanceExtra[distance_code];
                const std::size_t distance =
                    kDistanceBase[distance_code] + static_cast<std::uint32_t>(in.bits() & ((1u << distance_extra) - 1));
                in.drop(distance_extra);
                if (distance > size) return done(false);
                copy_match(out + size, distance, length);
                size += length;
            }
            // A careful step: one symbol, every read and write checked.
            const int symbol = decode(in, literals_);
            if (symbol < 0 || in.overrun()) return done(false);
            if (symbol < kEndOfBlock) {
                if (!make(1)) return done(false);
                out[size++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            if (symbol == kEndOfBlock) return done(true);
            const int length_code = symbol - 257;
            if (length_code >= 29) return done(false);
            const std::size_t length = kLengthBase[length_code] + in.take(kLengthExtra[length_code]);
            const int distance_code = decode(in, distances_);
            if (distance_code < 0 || distance_code >= static_cast<int>(kDistanceCodes)) return done(false);
            const std::size_t distance = kDistanceBase[distance_code] + in.take(kDistanceExtra[distance_code]);
            if (distance > size || !make(length)) return done(false);
            copy_match(out + size, distance, length, room - size >= length + 8);
            size += length;
        }
    }

    // The length bytes from distance back; eight bytes a step when the output has room for
    // eight bytes past them.
    static void copy_match(std::uint8_t* to, std::size_t distance, std::size_t length, bool spare_room = true) {
        const std::uint8_t* from = to - distance;
        if (distance >= 8 && spare_room) {
            // Eight bytes a step, up to seven past the match: bytes the next codes write over
            // (or the end cuts off). Each step reads only bytes already written.
            for (std::size_t k = 0; k < length; k += 8) std::memcpy(to + k, from + k, 8);
        } else {
            // Byte by byte: a distance shorter than the length repeats what it has just written.
            for (std::size_t k = 0; k < length; ++k) to[k] = from[k];
        }
    }

    // Room for count more bytes within the limit; the buffer grows by doubling, so it never
    // holds much more than the output so far.
    bool make_room(std::uint64_t count) {
        if (!room(count)) return false;
        if (count <= out_.size() - size_) return true;
        const std::uint64_t want =
            std::max<std::uint64_t>({size_ + count, 2 * std::uint64_t{out_.size()}, out_.capacity(), 1u << 16});
        out_.resize(static_cast<std::size_t>(std::min(want, limit_)));
        return true;
    }

    BitReader in_;
    std::uint64_t limit_;
    InflatedBytes& out_;  // its first size_ bytes are the output
    std::size_t size_ = 0;
    Huffman<kLiteralFastBits> literals_;
    Huffman<kDistanceFastBits> distances_;
    Huffman<kCodeLengthFastBits> code_lengths_;
};

// Each byte of a step of 32 by its distance from the step's end.
constexpr auto kAdlerWeights = [] {
    std::array<std::int16_t, 32> w{};
    for (std::size_t i = 0; i < w.size(); ++i) w[i] = static_cast<std::int16_t>(32 - i);
    return w;
}();

std::uint32_t adler32(const InflatedBytes& data) {
    constexpr std::uint32_t kBase = 65521;
    constexpr std::size_t kChunk = 5552;  // the most bytes before the sums can pass 2^32
    std::uint32_t a = 1, b = 0;
    for (std::size_t at = 0; at < data.size(); at += kChunk) {
        const std::size_t end = std::min(data.size(), at + kChunk);
        std::size_t k = at;
        // 32 bytes a step: b gains 32 times a, then each byte by its distance from the end. A
        // loop of fixed length the compiler turns into vector sums; the weights are 16-bit, so
        // that the products sum as 16-bit multiply-adds.
        for (; k + 32 <= end; k += 32) {
            const std::uint8_t* p = data.data() + k;
            std::int32_t sum = 0, weighted = 0;
            for (std::size_t i = 0; i < 32; ++i) {
                const std::int16_t byte = p[i];
                sum += byte;
                weighted += byte * kAdlerWeights[i];
            }
            b += 32 * a + static_cast<std::uint32_t>(weighted);
            a += static_cast<std::uint32_t>(sum);
        }
        for (; k < end; ++k) {
            a += data[k];
            b += a;
        }
        a %= kBase;
        b %= kBase;
    }
    return b << 16 | a;
}

}  // namespace

bool inflate_zlib(std::span<const std::uint8_t> in, std::uint64_t declared_size, InflatedBytes& out) {
    out.clear();
    if (in.size() < kZlibHeaderSize + kAdlerSize) return false;
    const unsigned cmf = in[0], flg = in[1];
    if ((cmf & 0x0Fu) != kMethodDeflate || (cmf >> 4) > 7 || (cmf << 8 | flg) % 31 != 0 ||
        (flg & kPresetDictionary) != 0)
        return false;
    // Room for what the input can give at most (deflate makes at most 258 bytes of 2 bits),
    // so that the output never moves; the declared size alone never sizes it. Room only: no
    // page is touched before a byte is written there. A caller that keeps out for the next
    // module's section finds it there with a quarter to spare: the next is often a little
    // bigger, and room taken anew costs a page fault a page.
    constexpr std::uint64_t kMostReserved = std::uint64_t{64} << 20;
    constexpr std::uint64_t kMostRatio = 1032;
    const std::uint64_t wanted = std::min({declared_size, kMostRatio * std::uint64_t{in.size()}, kMostReserved});
    if (wanted > out.capacity()) out.reserve(static_cast<std::size_t>(wanted + wanted / 4));
    Inflater inflater(in.subspan(kZlibHeaderSize), declared_size, out);
    const bool inflated = inflater.run();
    inflater.finish();
    if (!inflated || out.size() != declared_size) return false;
    const std::uint64_t end = kZlibHeaderSize + inflater.bytes_used();
    if (end > in.size() || in.size() - end < kAdlerSize) return false;
    const std::uint8_t* p = in.data() + end;
    const std::uint32_t stored =
        std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
    return stored == adler32(out);
}

}  // namespace quorv::dwarf
