// Walks the NAL units of an Annex B byte stream read from a file descriptor (a
// file or a pipe), one at a time, through a bounded read window.
#ifndef H265TOOLS_NAL_UNIT_READER_H
#define H265TOOLS_NAL_UNIT_READER_H

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace h265tools {

// One NAL unit as found in the stream: its start code (3 or 4 bytes), the NAL
// unit header and the payload, up to the next start code or the end of the
// stream.
// The bytes lie in the reader's read window and stay valid until its next
// Next() call; a copy of `window` keeps them valid for as long as it is held,
// without copying them.
struct NalUnitView {
    std::uint64_t offset = 0; // stream offset of the first byte of the start code
    const unsigned char* data = nullptr;
    std::size_t size = 0; // start code included
    int startCodeLength = 0;
    std::shared_ptr<const unsigned char> window; // holds `data`; null for a unit from elsewhere
};

// Reads the file descriptor sequentially, never seeking, in windows of
// `window` bytes. The bytes of the current NAL unit are carried over into the
// next window so that a unit spanning a window boundary comes out whole; a
// unit larger than the window grows the buffer for as long as that unit lasts.
// Memory use is thus bounded by the window and the largest NAL unit, not by
// the length of the stream, and a pipe reads like a file. A window that a
// caller still holds (NalUnitView::window) is left as it is: the next window
// is another buffer, one no longer held when there is one.
//
// A start code is 00 00 01; a zero byte right before it (and after the header
// of the preceding unit) makes it the four-byte form 00 00 00 01. Any further
// zero bytes before that stay with the preceding unit as its trailing zeros.
class NalUnitReader {
public:
    static const std::size_t kDefaultWindow = 1u << 20;

    explicit NalUnitReader(int fd, std::size_t window = kDefaultWindow);

    // The next NAL unit; false at the end of the stream. A read error is thrown
    // as std::system_error.
    bool Next(NalUnitView& unit);

    // Ends the walk once *flag is non-zero (set by a signal handler): a read
    // that the signal interrupts (EINTR) is not resumed, and Next() returns
    // false from then on. The unit being read when it happens is incomplete
    // and is not returned.
    void StopWhen(const volatile std::sig_atomic_t* flag) { stop_ = flag; }
    // The walk ended through StopWhen's flag, not at the end of the stream.
    bool Stopped() const { return stop_ != nullptr && *stop_ != 0; }

    // Bytes before the first start code (all of them when there is none).
    std::uint64_t LeadingBytes() const { return leadingBytes_; }
    // Bytes read from the stream so far.
    std::uint64_t BytesRead() const { return bufferOffset_ + end_; }
    // The first bytes of the stream read so far, up to kFirstBytes of them:
    // what tells an input of another kind (GuessInputKind).
    static const std::size_t kFirstBytes = 64u << 10;
    const std::vector<unsigned char>& FirstBytes() const { return firstBytes_; }

private:
    // Appends what the stream has next, growing the buffer when it is full.
    // False at the end of the stream.
    bool Fill();
    // Drops the bytes before `keep`, moving the rest to the front, or to the
    // front of another window when a caller holds this one.
    void Discard(std::size_t keep);
    // Makes a window of `size` bytes, which no caller holds (a spare one when
    // it has the default size), the read window, with the bytes [keep, end_)
    // of the current one at its front.
    void MoveTo(std::size_t size, std::size_t keep);
    // Position of the next start code that begins at or after `from` and
    // whose 00 00 01 lies within [from, end_), or end_ when there is none.
    // `floor` is the lowest position a four-byte start code's leading zero
    // may take.
    std::size_t FindStartCode(std::size_t from, std::size_t floor) const;
    bool FindFirstUnit();

    int fd_;
    std::size_t window_;
    const volatile std::sig_atomic_t* stop_ = nullptr;
    std::shared_ptr<unsigned char> buffer_; // the read window
    std::size_t capacity_ = 0;              // its size
    // Windows of the default size given up while callers held them, to be
    // used again once they are free; a few, so that memory stays bounded.
    std::vector<std::shared_ptr<unsigned char>> spares_;
    std::vector<unsigned char> firstBytes_;
    std::size_t end_ = 0;            // bytes of buffer_ in use
    std::uint64_t bufferOffset_ = 0; // stream offset of buffer_[0]
    std::uint64_t leadingBytes_ = 0;
    bool eof_ = false;
    bool started_ = false;
    bool finished_ = false;
    std::size_t current_ = 0; // start of the unit that Next() returns next
    std::size_t scan_ = 0;    // where the search for its end goes on
};

} // namespace h265tools

#endif
