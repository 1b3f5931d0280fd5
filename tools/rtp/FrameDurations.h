// How long each picture of an RTP session is shown. RTP timestamps are
// presentation times (RFC 7798 4.1: the sampling time of the picture), and
// pictures arrive in decoding order, so a picture lasts until the next
// larger timestamp. With B-pictures that one may come a few pictures later
// or have come a few pictures before: a picture's successor in output order
// lies within twice the reorder depth of the stream from it in decoding
// order (the pictures in between either precede it in output order or
// follow its successor). So each picture is held until `lookahead` pictures
// came after it, and the `lookahead` given out before it are remembered;
// the last ones of a run, whose successor never comes, are given the
// duration that pictures had before them.
//
// A timestamp more than `maxGap` after every held one, or before all of
// them by as much (a camera that restarted, a long loss), is no duration
// anyone should play: it is refused (Fits), and the caller ends the run of
// pictures there (Flush) and starts a new one.
#ifndef RTP_FRAME_DURATIONS_H
#define RTP_FRAME_DURATIONS_H

#include <cstddef>
#include <cstdint>
#include <deque>

namespace rtp {

class FrameDurations {
public:
    static const std::size_t kLookahead = 16;
    static const std::int64_t kMaxGap = 5 * 90000; // 5 s of 90 kHz

    explicit FrameDurations(std::size_t lookahead = kLookahead, std::int64_t maxGap = kMaxGap);

    // Whether a picture at `timestamp` belongs with the pictures held (or
    // given out last, when none is held).
    bool Fits(std::int64_t timestamp) const;
    // The next picture in decoding order.
    void Add(std::int64_t timestamp);
    // Whether the oldest picture held has its duration: `lookahead` pictures
    // came after it, or Flush was called.
    bool Ready() const;
    // The oldest picture's duration in ticks (at least 1), and it is no
    // longer held. Only when Ready().
    std::uint32_t Take();
    // No picture follows the ones held: each is ready.
    void Flush();
    // A new run of pictures: nothing held; the usual duration is kept.
    void Restart();

    std::size_t held() const { return held_.size(); }
    // The duration of the last picture given out whose successor was seen
    // (3600 ticks, 25 per second, before any).
    std::uint32_t usual() const { return usual_; }

private:
    std::size_t lookahead_;
    std::int64_t maxGap_;
    std::deque<std::int64_t> held_;
    std::deque<std::int64_t> given_; // the last ones given out, oldest first
    std::size_t flushed_ = 0; // of the held ones, the first this many are ready
    std::uint32_t usual_ = 3600;
};

}  // namespace rtp

#endif
