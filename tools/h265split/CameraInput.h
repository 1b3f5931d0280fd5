// A camera as h265split's input: an RTSP session (rtsp::RtspClient) whose
// RTP packets are joined into access units (rtp::H265Depacketizer), each
// stamped with its presentation time and the time it is shown
// (rtp::FrameDurations), and with its UTC time once the camera's RTCP
// sender reports tell it.
//
// The first access unit of every session carries the parameter sets of the
// session description (sprop-vps, -sps, -pps, -sei) before its own, so that
// a camera that sends them only there still gives a recording that decodes;
// ones in band come after and take their place.
//
// A session that ends, errs or stalls is opened again after a pause that
// doubles up to a limit; until the first session plays, an error status
// from the camera (a wrong path or password) ends the run instead. Losses,
// a new session and a jump of the timestamps are breaks: the access unit
// after one says so, and the pictures before it were given their durations
// without it.
#ifndef H265SPLIT_CAMERA_INPUT_H
#define H265SPLIT_CAMERA_INPUT_H

#include <csignal>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "CameraAbsence.h"
#include "CameraOptions.h"
#include "CameraTimestamps.h"
#include "FrameDurations.h"
#include "H265Depacketizer.h"
#include "Messages.h"
#include "RtcpPacket.h"
#include "SegmentIndex.h"
#include "WallClock.h"

namespace h265split {


// An access unit in Annex B, each NAL unit after a 4-byte start code.
struct CameraAccessUnit {
    std::shared_ptr<const std::vector<unsigned char>> bytes;
    std::int64_t timestamp = 0;  // 90 kHz, carried on past 32 bits
    std::uint32_t duration = 0;  // 90 kHz ticks until the next picture is shown
    bool breakBefore = false;    // pictures are missing before it, or time jumped
    // After a loss: the 90 kHz time between the end of the last picture
    // before the break and this one's, which the lost pictures took; 0 when
    // not known (a new session, a jump).
    std::uint32_t gapBefore = 0;
    std::int64_t utcMillis = 0;  // from the sender reports; 0 before the first
    Arrival arrival;             // as the depacketizer gave it out
    bool damaged = false;        // a part of it, or of a picture before it, was lost (--keep-damaged)
};

class CameraInput : private rtsp::RtpReceiver, private rtp::AccessUnitSink {
public:
    CameraInput(const CameraOptions& options, Messages& messages, const volatile std::sig_atomic_t* stop);
    ~CameraInput();
    CameraInput(const CameraInput&) = delete;
    CameraInput& operator=(const CameraInput&) = delete;

    // The next access unit; false once stopped. Throws h265tools::InputError
    // when the first session cannot be played.
    bool Next(CameraAccessUnit& unit);
    // Ends the session (TEARDOWN); what it still held is given out by Next.
    void Close();

    // The URL without user and password, for messages.
    const std::string& description() const { return description_; }
    // The 90 kHz duration of the first picture given out: the rate the
    // recording's rules count in. 0 before.
    std::uint32_t firstDuration() const { return firstDuration_; }
    // Packets lost, reordered and duplicated, access units dropped, sessions
    // opened again: "" when nothing went wrong.
    std::string Summary() const;
    // The same as numbers, up to now.
    StreamLosses Losses() const;

private:
    void OnRtp(const std::uint8_t* data, std::size_t size) override;
    void OnRtcp(const std::uint8_t* data, std::size_t size) override;
    void OnAccessUnit(const rtp::AccessUnit& unit) override;

    bool Open();
    // Gives out the held pictures whose durations are known.
    void Release();
    // The run of pictures ends: every one held is given out.
    void EndRun();
    void Lost(const std::string& why);
    // Says, once each, that an access unit or a NAL unit was over its cap.
    void SayCapsReached();
    void WaitBeforeRetry();
    bool Stopped() const { return stop_ != nullptr && *stop_ != 0; }
    // A buffer no access unit given out holds any more, else a new one.
    std::shared_ptr<std::vector<unsigned char>> FreeBuffer(std::size_t size);
    std::int64_t UtcOf(std::int64_t timestamp) const;
    // The timestamp the access unit is given: the camera's, else (standing
    // still) its arrival time.
    std::int64_t Advancing(std::int64_t timestamp);
    void AddCounters();

    CameraOptions options_;
    Messages& messages_;
    const volatile std::sig_atomic_t* stop_;
    std::string description_;
    std::unique_ptr<rtsp::RtspClient> client_;
    std::unique_ptr<rtp::H265Depacketizer> depacketizer_;
    rtp::FrameDurations durations_;

    struct Held {
        std::shared_ptr<std::vector<unsigned char>> bytes;
        std::int64_t timestamp;
        bool breakBefore;
        bool measureGap; // the first after a loss: gapBefore is measured when it leaves
        Arrival arrival;
        bool damaged;
    };
    std::deque<Held> held_;             // with their timestamps in durations_
    std::deque<CameraAccessUnit> ready_; // for Next
    std::vector<std::shared_ptr<std::vector<unsigned char>>> pool_;
    std::vector<unsigned char> sprops_; // the description's parameter sets, as Annex B
    bool spropsPending_ = false;
    bool breakPending_ = false;
    bool played_ = false;             // a session has played
    std::uint64_t sessionUnits_ = 0;  // access units of the session given to the holder
    std::uint64_t lossesSeen_ = 0;    // the depacketizer's packets lost and units dropped at the last unit
    int retryMs_ = 0;
    CameraAbsence absence_;
    bool saidAccessUnitCap_ = false;
    bool saidTruncated_ = false;
    bool saidNalUnitCap_ = false;
    std::int64_t lastVideoMs_ = 0; // the last access unit made, or the session's start
    std::uint64_t droppedSeen_ = 0; // the depacketizer's access units dropped, as last seen
    CameraTimestamps timestamps_;
    bool saidStanding_ = false;
    std::uint32_t firstDuration_ = 0;
    bool haveRunEnd_ = false;
    std::int64_t runEnd_ = 0; // the end of the last picture given out, in 90 kHz

    bool haveReport_ = false;
    rtsp::SenderReport report_;

    // Over all sessions.
    std::uint64_t sessions_ = 0;
    std::uint64_t lost_ = 0, reordered_ = 0, duplicates_ = 0, dropped_ = 0, jumps_ = 0;
};

} // namespace h265split

#endif
