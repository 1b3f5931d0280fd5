#include "NalUnitReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace h265tools {

NalUnitReader::NalUnitReader(int fd, std::size_t window) : fd_(fd), window_(std::max<std::size_t>(window, 16)) {
    buffer_.resize(window_);
}

bool NalUnitReader::Fill() {
    if (eof_ || Stopped())
        return false;
    if (end_ == buffer_.size()) {
        // Only a NAL unit that outgrows the window gets here: the buffer holds
        // nothing but that unit.
        if (buffer_.size() > buffer_.max_size() / 2)
            throw std::bad_alloc();
        buffer_.resize(buffer_.size() * 2);
    }
    for (;;) {
        const ssize_t n = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
        if (n > 0) {
            const std::size_t keep = std::min(static_cast<std::size_t>(n), kFirstBytes - firstBytes_.size());
            firstBytes_.insert(firstBytes_.end(), buffer_.data() + end_, buffer_.data() + end_ + keep);
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

void NalUnitReader::Discard(std::size_t keep) {
    if (keep > 0) {
        std::memmove(buffer_.data(), buffer_.data() + keep, end_ - keep);
        end_ -= keep;
        bufferOffset_ += keep;
    }
    // Back to the window size once an oversized unit has gone.
    if (buffer_.size() > window_ && end_ <= window_ / 2) {
        std::vector<unsigned char> smaller(window_);
        std::memcpy(smaller.data(), buffer_.data(), end_);
        buffer_.swap(smaller);
    }
}

namespace {

// The first p in [from, last] where b[p] and b[p + 1] are both zero, or
// last + 1. Only there can a start code begin; a lone zero byte, about one
// in 256 of coded slice data, is passed over without a stop.
std::size_t FindZeroPair(const unsigned char* b, std::size_t from, std::size_t last) {
    std::size_t i = from;
#if defined(__SSE2__)
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

} // namespace

std::size_t NalUnitReader::FindStartCode(std::size_t from, std::size_t floor) const {
    const unsigned char* b = buffer_.data();
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
    if (finished_ || Stopped())
        return false;
    if (!started_) {
        started_ = true;
        if (!FindFirstUnit()) {
            finished_ = true;
            return false;
        }
    }
    const unsigned char* b = buffer_.data();
    const int startCodeLength = b[current_ + 2] == 1 ? 3 : 4;
    std::size_t header = current_ + static_cast<std::size_t>(startCodeLength);
    for (;;) {
        const std::size_t next = FindStartCode(std::max(scan_, header), header);
        if (next != end_ || eof_) {
            unit.offset = bufferOffset_ + current_;
            unit.data = buffer_.data() + current_;
            unit.size = next - current_;
            unit.startCodeLength = startCodeLength;
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
