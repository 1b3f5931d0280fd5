// Helpers shared by the fuzz targets. Each target defines
// LLVMFuzzerTestOneInput; it is linked either with libFuzzer or with
// ReplayMain.cpp, which runs it over files (ctest replays the corpus that way).
#ifndef H265HEADERS_FUZZ_SUPPORT_H
#define H265HEADERS_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ReferenceRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// A broken invariant is a finding: report it and abort, which libFuzzer and
// the replay driver both treat as a crash.
#define FUZZ_CHECK(condition)                                                                                  \
    do {                                                                                                       \
        if (!(condition)) {                                                                                    \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition);             \
            std::abort();                                                                                      \
        }                                                                                                      \
    } while (0)

// A copy of data[0 .. size - 1] in a heap block of exactly `size` bytes, so
// that AddressSanitizer flags any read past its end (also for a piece cut out
// of the middle of the fuzzer's input).
class ExactBuffer {
public:
    ExactBuffer(const uint8_t* data, size_t size) : m_block(new unsigned char[size]), m_size(size) {
        if (size)
            std::memcpy(m_block.get(), data, size);
    }
    const unsigned char* data() const { return m_block.get(); }
    size_t size() const { return m_size; }
    int intSize() const { return static_cast<int>(m_size); }
    unsigned int uintSize() const { return static_cast<unsigned int>(m_size); }

private:
    std::unique_ptr<unsigned char[]> m_block;
    size_t m_size;
};

// Runs `call`; the end-of-data signal (a thrown int of value 1) is an expected
// outcome and gives false, any other int thrown is a finding. Everything else
// propagates, which the fuzzer reports as a crash.
template <typename Call> bool CompletesOrEndsOfData(Call call) {
    try {
        call();
        return true;
    } catch (int signal) {
        FUZZ_CHECK(signal == 1);
        return false;
    }
}

// Takes `n` bytes off the front of [*data, *data + *size), fewer if there are
// not that many.
inline size_t Take(const uint8_t** data, size_t* size, size_t n) {
    if (n > *size)
        n = *size;
    *data += n;
    *size -= n;
    return n;
}

// Offset of the NAL unit header byte of the start code at `at`.
inline long ReferenceHeaderOffset(const unsigned char* data, long at) { return at + (data[at + 2] == 1 ? 3 : 4); }

#endif
