#include "NalUnitReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#define H265TOOLS_SKIP_SSE2 1
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define H265TOOLS_SKIP_AVX2 1
#endif
#elif (defined(__ARM_NEON) || defined(__ARM_NEON__)) && defined(__GNUC__) && defined(__BYTE_ORDER__) &&              \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define H265TOOLS_SKIP_NEON 1 // in every build for this target
#elif H265TOOLS_NEON_RUNTIME && defined(__linux__)
#include <sys/auxv.h>
#define H265TOOLS_SKIP_NEON_RUNTIME 1
#endif

#include "NalUnitReaderNeon.h"

namespace h265tools {

namespace {

// Windows given up while held, kept for use again.
const std::size_t kSpareWindows = 3;

std::shared_ptr<unsigned char> NewWindow(std::size_t size) {
    // Not zeroed: only the bytes read into it are ever looked at.
    return std::shared_ptr<unsigned char>(new unsigned char[size], std::default_delete<unsigned char[]>());
}

} // namespace

NalUnitReader::NalUnitReader(int fd, std::size_t window)
    : fd_(fd), window_(std::max<std::size_t>(window, 16)), buffer_(NewWindow(window_)), capacity_(window_) {}

bool NalUnitReader::Fill() {
    if (eof_ || Stopped())
        return false;
    if (end_ == capacity_) {
        // Only a NAL unit that outgrows the window gets here: the buffer holds
        // nothing but that unit.
        if (capacity_ > static_cast<std::size_t>(-1) / 4)
            throw std::bad_alloc();
        MoveTo(capacity_ * 2, 0);
    }
    for (;;) {
        const ssize_t n = ::read(fd_, buffer_.get() + end_, capacity_ - end_);
        if (n > 0) {
            const std::size_t keep = std::min(static_cast<std::size_t>(n), kFirstBytes - firstBytes_.size());
            firstBytes_.insert(firstBytes_.end(), buffer_.get() + end_, buffer_.get() + end_ + keep);
            end_ += static_cast<std::size_t>(n);
            return true;
        }
        if (n == 0) {
            eof_ = true;
            return false;
        }
        if (errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "read");
        if (Stopped())
            return false;
    }
}

void NalUnitReader::MoveTo(std::size_t size, std::size_t keep) {
    std::shared_ptr<unsigned char> next;
    if (size == window_) {
        for (std::size_t i = 0; i < spares_.size() && !next; ++i) {
            if (spares_[i].use_count() == 1) {
                next.swap(spares_[i]);
                spares_.erase(spares_.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
    }
    if (!next)
        next = NewWindow(size);
    std::memcpy(next.get(), buffer_.get() + keep, end_ - keep);
    // A held window of the default size is used again once it is free.
    if (capacity_ == window_ && buffer_.use_count() > 1) {
        if (spares_.size() == kSpareWindows)
            spares_.erase(spares_.begin());
        spares_.push_back(std::move(buffer_));
    }
    buffer_ = std::move(next);
    capacity_ = size;
    end_ -= keep;
    bufferOffset_ += keep;
}

void NalUnitReader::Discard(std::size_t keep) {
    // Back to the window size once an oversized unit has gone.
    if (capacity_ > window_ && end_ - keep <= window_ / 2) {
        MoveTo(window_, keep);
    } else if (keep > 0 && buffer_.use_count() > 1) {
        // The units handed out stay as they are where they are held.
        MoveTo(capacity_, keep);
    } else if (keep > 0) {
        std::memmove(buffer_.get(), buffer_.get() + keep, end_ - keep);
        end_ -= keep;
        bufferOffset_ += keep;
    }
}

namespace {

// The first p in [from, last] where b[p] and b[p + 1] are both zero, or
// last + 1. Only there can a start code begin; a lone zero byte, about one
// in 256 of coded slice data, is passed over without a stop.
std::size_t FindZeroPairIn(const unsigned char* b, std::size_t from, std::size_t last) {
    std::size_t i = from;
#if H265TOOLS_SKIP_SSE2
    // 16 candidates at a time: the zero bytes of b[i..i+15] and of b[i+1..i+16].
    const __m128i zero = _mm_setzero_si128();
    while (i + 15 <= last) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i + 1));
        const unsigned pairs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(here, zero))) &
                               static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(next, zero)));
        if (pairs != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(pairs));
        i += 16;
    }
#endif
    while (i <= last) {
        const void* zero = std::memchr(b + i, 0, last + 1 - i);
        if (!zero)
            return last + 1;
        i = static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - b);
        if (b[i + 1] == 0)
            return i;
        i += 2;
    }
    return last + 1;
}

#if H265TOOLS_SKIP_AVX2
// The same as SkipBlocks below in 128-byte blocks with AVX2, used where the
// processor has it (the build targets plain x86-64). Reads p[0 .. 128].
__attribute__((target("avx2"))) const unsigned char* SkipBlocksAvx2(const unsigned char* p,
                                                                   const unsigned char* end) {
    const __m256i zero = _mm256_setzero_si256();
    while (end - p > 128) {
        const __m256i* v = reinterpret_cast<const __m256i*>(p);
        const __m256i* w = reinterpret_cast<const __m256i*>(p + 1);
        const __m256i t0 = _mm256_or_si256(_mm256_loadu_si256(v), _mm256_loadu_si256(w));
        const __m256i t1 = _mm256_or_si256(_mm256_loadu_si256(v + 1), _mm256_loadu_si256(w + 1));
        const __m256i t2 = _mm256_or_si256(_mm256_loadu_si256(v + 2), _mm256_loadu_si256(w + 2));
        const __m256i t3 = _mm256_or_si256(_mm256_loadu_si256(v + 3), _mm256_loadu_si256(w + 3));
        const __m256i least = _mm256_min_epu8(_mm256_min_epu8(t0, t1), _mm256_min_epu8(t2, t3));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(least, zero)) != 0)
            break;
        p += 128;
    }
    return p;
}
const bool kCpuHasAvx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
#endif

#if H265TOOLS_SKIP_SSE2
// Skips 64-byte blocks that hold no zero pair: returns p, or the first block
// with a pair at one of its 64 positions, or a position fewer than 65 bytes
// before `end`. Reads p[0 .. 64] of every block it looks at.
const unsigned char* SkipBlocks(const unsigned char* p, const unsigned char* end) {
#if H265TOOLS_SKIP_AVX2
    if (kCpuHasAvx2)
        p = SkipBlocksAvx2(p, end);
#endif
    const __m128i zero = _mm_setzero_si128();
    while (end - p > 64) {
        const __m128i* v = reinterpret_cast<const __m128i*>(p);
        const __m128i* w = reinterpret_cast<const __m128i*>(p + 1);
        const __m128i t0 = _mm_or_si128(_mm_loadu_si128(v), _mm_loadu_si128(w));
        const __m128i t1 = _mm_or_si128(_mm_loadu_si128(v + 1), _mm_loadu_si128(w + 1));
        const __m128i t2 = _mm_or_si128(_mm_loadu_si128(v + 2), _mm_loadu_si128(w + 2));
        const __m128i t3 = _mm_or_si128(_mm_loadu_si128(v + 3), _mm_loadu_si128(w + 3));
        const __m128i least = _mm_min_epu8(_mm_min_epu8(t0, t1), _mm_min_epu8(t2, t3));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(least, zero)) != 0)
            break;
        p += 64;
    }
    return p;
}
const bool kSkipBlocks = true;
#elif H265TOOLS_SKIP_NEON
const unsigned char* SkipBlocks(const unsigned char* p, const unsigned char* end) {
    return SkipBlocksWithoutStartCodeNeon(p, end);
}
const bool kSkipBlocks = true;
#elif H265TOOLS_SKIP_NEON_RUNTIME
// Debian's armhf builds without NEON, while most ARMv7 cores have it: the
// kernel says whether this one does.
const bool kSkipBlocks = (getauxval(AT_HWCAP) & HWCAP_ARM_NEON) != 0;
const unsigned char* SkipBlocks(const unsigned char* p, const unsigned char* end) {
    return SkipBlocksWithoutStartCodeNeon(p, end);
}
#else
const bool kSkipBlocks = false;
const unsigned char* SkipBlocks(const unsigned char* p, const unsigned char*) {
    return p;
}
#endif

// FindZeroPairIn over the whole range. Where whole blocks can be tested at
// once, the blocks in which no start code begins are passed over, and the
// positions of the block where that stops are looked at one by one.
std::size_t FindZeroPair(const unsigned char* b, std::size_t from, std::size_t last) {
    if (!kSkipBlocks)
        return FindZeroPairIn(b, from, last);
    std::size_t i = from;
    while (i <= last) {
        // b[last + 1] is the last byte that a pair at or before `last` reads.
        i = static_cast<std::size_t>(SkipBlocks(b + i, b + last + 2) - b);
        if (i > last)
            break;
        const std::size_t stop = last - i > 63 ? i + 63 : last;
        const std::size_t pair = FindZeroPairIn(b, i, stop);
        if (pair <= stop)
            return pair;
        i = stop + 1;
    }
    return last + 1;
}

} // namespace

std::size_t NalUnitReader::FindStartCode(std::size_t from, std::size_t floor) const {
    const unsigned char* b = buffer_.get();
    std::size_t i = from;
    while (i + 3 <= end_) {
        i = FindZeroPair(b, i, end_ - 3);
        if (i + 3 > end_)
            return end_;
        if (b[i + 2] == 1) {
            return (i >= floor + 1 && b[i - 1] == 0) ? i - 1 : i;
        } else if (b[i + 2] == 0) {
            i += 1;
        } else {
            i += 3; // b[i + 2] > 1: nothing begins at i, i + 1 or i + 2
        }
    }
    return end_;
}

bool NalUnitReader::FindFirstUnit() {
    for (;;) {
        const std::size_t start = FindStartCode(0, 0);
        if (start != end_) {
            leadingBytes_ = bufferOffset_ + start;
            current_ = start;
            scan_ = start;
            return true;
        }
        if (eof_) {
            leadingBytes_ = bufferOffset_ + end_;
            return false;
        }
        // The last three bytes may hold the beginning of a start code and
        // the zero before it; everything else is leading garbage.
        Discard(end_ > 3 ? end_ - 3 : 0);
        Fill();
        if (Stopped())
            return false;
    }
}

bool NalUnitReader::Next(NalUnitView& unit) {
    // The caller's last view no longer holds the window: only the copies it
    // kept of NalUnitView::window do.
    unit.window.reset();
    if (finished_ || Stopped())
        return false;
    if (!started_) {
        started_ = true;
        if (!FindFirstUnit()) {
            finished_ = true;
            return false;
        }
    }
    const unsigned char* b = buffer_.get();
    const int startCodeLength = b[current_ + 2] == 1 ? 3 : 4;
    std::size_t header = current_ + static_cast<std::size_t>(startCodeLength);
    for (;;) {
        const std::size_t next = FindStartCode(std::max(scan_, header), header);
        if (next != end_ || eof_) {
            unit.offset = bufferOffset_ + current_;
            unit.data = buffer_.get() + current_;
            unit.size = next - current_;
            unit.startCodeLength = startCodeLength;
            unit.window = buffer_;
            current_ = next;
            scan_ = next;
            finished_ = next == end_;
            return true;
        }
        // The unit goes on past the bytes at hand. The search resumes at the
        // last two bytes, where a 00 00 01 may have begun.
        scan_ = std::max(header, end_ >= 2 ? end_ - 2 : 0);
        const std::size_t shift = current_;
        Discard(current_);
        current_ -= shift;
        header -= shift;
        scan_ -= shift;
        Fill();
        if (Stopped()) {
            finished_ = true;
            return false;
        }
    }
}

} // namespace h265tools
