// The bit reader (GetBits, PeekBits, GetByte, GetUE, GetSE, ByteAlign,
// GetUInt32, GetUInt64, market_bit) driven by a program taken from the input,
// over the rest of the input, checked step by step against a plain model
// that keeps a bit position: every value, every bit consumed, and the
// end-of-data signal exactly where the data runs out.
//
// Input layout: byte 0 = length of the program; the program; the data.
// Each program byte picks an operation (low 3 bits); GetBits and PeekBits
// take their width from the next program byte.
#include <climits>

#include "BitInStream.h"
#include "FuzzSupport.h"

using namespace h265headers;

namespace {

class Model {
public:
    Model(const unsigned char* data, size_t size) : m_data(data), m_bits(size * 8), m_pos(0) {}
    unsigned Bit(size_t at) const { return (m_data[at / 8] >> (7 - at % 8)) & 1u; }
    size_t Left() const { return m_bits - m_pos; }
    size_t Pos() const { return m_pos; }
    // Last 32 of the next n bits (n > 0 and available).
    unsigned int Value(size_t n) const {
        unsigned int v = 0;
        for (size_t i = n > 32 ? n - 32 : 0; i < n; ++i)
            v = (v << 1) | Bit(m_pos + i);
        return v;
    }
    void Skip(size_t n) { m_pos += n; }
    // Leading zero bits from the position, or -1 when no 1 bit follows.
    long long Zeros() const {
        for (size_t i = m_pos; i < m_bits; ++i)
            if (Bit(i))
                return static_cast<long long>(i - m_pos);
        return -1;
    }

private:
    const unsigned char* m_data;
    size_t m_bits;
    size_t m_pos;
};

int Width(unsigned int arg) {
    if (arg < 64)
        return static_cast<int>(arg) - 8; // -8 .. 55
    if (arg < 128)
        return static_cast<int>(arg - 64) * 1021; // wide skips
    if (arg == 255)
        return INT_MAX;
    if (arg == 254)
        return INT_MIN;
    return static_cast<int>(arg & 31);
}

// Expects `call` to end in the end-of-data signal.
template <typename Call> void ExpectEndOfData(Call call) { FUZZ_CHECK(!CompletesOrEndsOfData(call)); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const size_t programWanted = data[0];
    Take(&data, &size, 1);
    const uint8_t* program = data;
    const size_t programSize = Take(&data, &size, programWanted);
    const ExactBuffer payload(data, size);

    CMemInputSource source(payload.data(), payload.intSize());
    CH264BitInStream bs(&source);
    Model model(payload.data(), payload.size());

    for (size_t pc = 0; pc < programSize; ++pc) {
        const unsigned int op = program[pc];
        switch (op & 7u) {
        case 0:
        case 1: {
            const int n = pc + 1 < programSize ? Width(program[++pc]) : 1;
            const bool peek = (op & 7u) == 1;
            if (n <= 0) {
                FUZZ_CHECK((peek ? bs.PeekBits(n) : bs.GetBits(n)) == 0);
                break;
            }
            if (static_cast<size_t>(n) > model.Left()) {
                ExpectEndOfData([&] { peek ? bs.PeekBits(n) : bs.GetBits(n); });
                return 0; // the reader is not used on after the signal
            }
            const unsigned int expected = model.Value(static_cast<size_t>(n));
            if (peek) {
                FUZZ_CHECK(bs.PeekBits(n) == expected);
                // Nothing consumed: the next read sees the same bits.
                FUZZ_CHECK(bs.PeekBits(n) == expected);
            } else {
                FUZZ_CHECK(bs.GetBits(n) == expected);
                model.Skip(static_cast<size_t>(n));
            }
            break;
        }
        case 2:
        case 3: {
            const long long zeros = model.Zeros();
            const bool fits = zeros >= 0 && static_cast<size_t>(2 * zeros + 1) <= model.Left();
            const bool se = (op & 7u) == 3;
            if (!fits) {
                ExpectEndOfData([&] { se ? bs.GetSE() : static_cast<int>(bs.GetUE()); });
                return 0;
            }
            model.Skip(static_cast<size_t>(zeros) + 1);
            const unsigned int info = zeros > 0 ? model.Value(static_cast<size_t>(zeros)) : 0u;
            model.Skip(static_cast<size_t>(zeros));
            const unsigned int term = zeros >= 32 ? 0xFFFFFFFFu : (1u << zeros);
            const unsigned int k = term - 1u + info;
            if (se) {
                const long long half = (static_cast<unsigned long long>(k) + 1u) >> 1;
                const long long expected = (k & 1u) ? half : -half;
                // k = 2^32 - 1 wraps to 0 in the reader's 32-bit arithmetic.
                FUZZ_CHECK(bs.GetSE() == (k == 0xFFFFFFFFu ? 0 : expected));
            } else {
                FUZZ_CHECK(bs.GetUE() == k);
            }
            break;
        }
        case 4: {
            const int expected = model.Pos() % 8 ? static_cast<int>(8 - model.Pos() % 8) : 0;
            FUZZ_CHECK(bs.ByteAlign() == expected);
            model.Skip(static_cast<size_t>(expected));
            break;
        }
        case 5:
            if (model.Left() < 32) {
                ExpectEndOfData([&] { bs.GetUInt32(); });
                return 0;
            }
            FUZZ_CHECK(bs.GetUInt32() == model.Value(32));
            model.Skip(32);
            break;
        case 6:
            if (model.Left() < 64) {
                ExpectEndOfData([&] { bs.GetUInt64(); });
                return 0;
            }
            {
                const unsigned long long high = model.Value(32);
                model.Skip(32);
                const unsigned long long expected = (high << 32) | model.Value(32);
                model.Skip(32);
                FUZZ_CHECK(bs.GetUInt64() == expected);
            }
            break;
        case 7:
            if (op & 8u) {
                if (model.Left() < 1 || model.Value(1) == 0) {
                    ExpectEndOfData([&] { bs.market_bit(); });
                    return 0;
                }
                bs.market_bit();
                model.Skip(1);
            } else {
                if (model.Left() < 8) {
                    ExpectEndOfData([&] { bs.GetByte(); });
                    return 0;
                }
                FUZZ_CHECK(bs.GetByte() == model.Value(8));
                model.Skip(8);
            }
            break;
        }
    }
    // Every remaining bit can still be read, and not one more.
    while (model.Left() >= 32) {
        FUZZ_CHECK(bs.GetBits(32) == model.Value(32));
        model.Skip(32);
    }
    if (model.Left() > 0)
        FUZZ_CHECK(bs.GetBits(static_cast<int>(model.Left())) == model.Value(model.Left()));
    ExpectEndOfData([&] { bs.GetBits(1); });
    return 0;
}
