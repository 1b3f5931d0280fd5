#include "CameraInput.h"

#include <poll.h>

#include <algorithm>

#include "CountedNoun.h"
#include "FrameRate.h"
#include "StreamInput.h"
#include "UtcTime.h"

namespace h265split {

using h265tools::MonotonicMillis;

namespace {

// The parameter sets of the session description, each after a start code, in
// the order a decoder needs them.
std::vector<unsigned char> SpropUnits(const rtsp::H265Media& media) {
    std::vector<unsigned char> out;
    for (const std::vector<std::vector<std::uint8_t>>* sets : {&media.vps, &media.sps, &media.pps, &media.sei})
        for (const std::vector<std::uint8_t>& unit : *sets) {
            if (unit.size() < 2)
                continue;
            static const unsigned char kStartCode[] = {0, 0, 0, 1};
            out.insert(out.end(), kStartCode, kStartCode + 4);
            out.insert(out.end(), unit.begin(), unit.end());
        }
    return out;
}

// The NAL unit type of the first unit of an Annex B access unit with 4-byte
// start codes; -1 when there is none.
int FirstUnitType(const std::uint8_t* data, std::size_t size) {
    return size >= 6 ? (data[4] >> 1) & 0x3F : -1;
}

const int kAudNut = 35;
const std::size_t kPoolSize = 32;
// Any pooled buffer may keep this much room.
const std::size_t kKeptCapacity = 64 * 1024;

} // namespace

CameraInput::CameraInput(const CameraOptions& options, Messages& messages, const volatile std::sig_atomic_t* stop)
    : options_(options), messages_(messages), stop_(stop), description_(options.url.WithoutCredentials()),
      retryMs_(options.firstRetryMs) {}

CameraInput::~CameraInput() = default;

bool CameraInput::Open() {
    depacketizer_.reset();
    client_.reset(new rtsp::RtspClient(options_.url, options_.client));
    try {
        client_->Open();
    } catch (const rtsp::RtspError& e) {
        client_.reset();
        if (!played_ && e.refused()) // a wrong path or password does not pass
            throw h265tools::InputError(description_ + ": " + e.what());
        Lost(e.what());
        return false;
    }
    const rtsp::H265Media& media = client_->media();
    rtp::DepacketizerOptions depacketizing;
    depacketizing.maxDonDiff = media.maxDonDiff;
    depacketizing.payloadType = media.payloadType;
    depacketizing.keepDamaged = options_.keepDamaged;
    depacketizer_.reset(new rtp::H265Depacketizer(*this, depacketizing));
    sprops_ = SpropUnits(media);
    spropsPending_ = true;
    if (!media.truncated.empty() && !saidTruncated_) {
        saidTruncated_ = true;
        messages_.Say(description_ + ": parameter sets of the session description cut short, not written: " +
                      Listed(media.truncated));
    }
    lossesSeen_ = 0;
    sessionUnits_ = 0;
    haveReport_ = false;
    timestamps_.Restart();
    droppedSeen_ = 0;
    lastVideoMs_ = MonotonicMillis();
    if (sessions_++ > 0) {
        breakPending_ = true;
        const std::string away = absence_.Back(lastVideoMs_);
        messages_.Say("playing " + description_ + " again" + (away.empty() ? "" : " " + away));
    }
    played_ = true;
    return true;
}

void CameraInput::Lost(const std::string& why) {
    const std::string said = absence_.Failed(MonotonicMillis(), played_ && sessionUnits_ > 0 ? lastVideoMs_ : 0, why,
                                             options_.maxRetryMs);
    if (!said.empty())
        messages_.Say(description_ + ": " + said);
    if (client_ && depacketizer_) {
        depacketizer_->Flush(); // the last whole access units of the session
        AddCounters();
    }
    client_.reset();
    depacketizer_.reset();
    EndRun();
    breakPending_ = true;
    WaitBeforeRetry();
    retryMs_ = std::min(retryMs_ * 2, options_.maxRetryMs);
}

void CameraInput::WaitBeforeRetry() {
    const std::int64_t until = MonotonicMillis() + retryMs_;
    while (!Stopped() && MonotonicMillis() < until)
        ::poll(nullptr, 0, 50);
}

void CameraInput::SayCapsReached() {
    const rtp::DepacketizerCounters& counted = depacketizer_->counters();
    const rtp::DepacketizerOptions limits;
    if (counted.oversizeAccessUnits > 0 && !saidAccessUnitCap_) {
        saidAccessUnitCap_ = true;
        messages_.Say(description_ + ": an access unit of more than " +
                      std::to_string(limits.maxAccessUnitBytes >> 20) + " MiB was dropped, with the pictures up to "
                      "the next key picture (the most one is given room for)");
    }
    if (counted.oversizeNalUnits > 0 && !saidNalUnitCap_) {
        saidNalUnitCap_ = true;
        messages_.Say(description_ + ": a NAL unit of more than " + std::to_string(limits.maxNalUnitBytes >> 20) +
                      " MiB in fragments was dropped, with the pictures up to the next key picture");
    }
}

void CameraInput::AddCounters() {
    const rtp::ReorderCounters& order = depacketizer_->reorderCounters();
    lost_ += order.lost;
    reordered_ += order.reordered;
    duplicates_ += order.duplicated;
    dropped_ += depacketizer_->counters().accessUnitsDropped;
}

bool CameraInput::Next(CameraAccessUnit& unit) {
    while (ready_.empty()) {
        if (Stopped()) {
            EndRun(); // what came is given out
            if (ready_.empty())
                return false;
            break;
        }
        if (!client_ && !Open())
            continue;
        try {
            // A session is alive while its video is: sender reports, packets
            // of other streams and garbage do not count.
            if (client_->Receive(*this, 200)) {
                SayCapsReached();
                // Access units dropped (before the first IRAP picture, after
                // a loss) are the camera's video too: a long GOP is alive.
                const std::uint64_t dropped = depacketizer_->counters().accessUnitsDropped;
                if (dropped != droppedSeen_)
                    lastVideoMs_ = MonotonicMillis();
                droppedSeen_ = dropped;
            }
            if (MonotonicMillis() - lastVideoMs_ > options_.stallMs)
                Lost("no video for " + std::to_string(options_.stallMs / 1000) + " s");
        } catch (const rtsp::RtspError& e) {
            Lost(e.what());
        }
    }
    unit = std::move(ready_.front());
    ready_.pop_front();
    if (firstDuration_ == 0)
        firstDuration_ = unit.duration;
    return true;
}

void CameraInput::Release() {
    while (!held_.empty() && durations_.Ready()) {
        CameraAccessUnit out;
        out.bytes = std::move(held_.front().bytes);
        out.timestamp = held_.front().timestamp;
        out.breakBefore = held_.front().breakBefore;
        if (held_.front().measureGap) {
            // To the first picture of the new run in output order: a CRA
            // picture's RASL pictures, which come after it, are shown before.
            std::int64_t first = out.timestamp;
            for (const Held& h : held_)
                first = std::min(first, h.timestamp);
            const std::int64_t lost = first - runEnd_;
            out.gapBefore = lost > 0 && lost <= rtp::FrameDurations::kMaxGap ? static_cast<std::uint32_t>(lost) : 0;
        }
        out.duration = durations_.Take();
        if (!haveRunEnd_ || out.timestamp + out.duration > runEnd_)
            runEnd_ = out.timestamp + out.duration;
        haveRunEnd_ = true;
        out.utcMillis = UtcOf(out.timestamp);
        out.arrival = held_.front().arrival;
        out.damaged = held_.front().damaged;
        held_.pop_front();
        ready_.push_back(std::move(out));
    }
}

void CameraInput::EndRun() {
    durations_.Flush();
    Release();
    durations_.Restart();
}

void CameraInput::Close() {
    if (client_) {
        client_->Teardown();
        if (depacketizer_) {
            // What the session still holds comes out; the access unit coming
            // in when the run was stopped is cut short by the stop, not lost,
            // and is not counted.
            AddCounters();
            depacketizer_->Flush();
        }
        client_.reset();
        depacketizer_.reset();
    }
    EndRun();
}

void CameraInput::OnRtp(const std::uint8_t* data, std::size_t size) {
    if (depacketizer_)
        depacketizer_->Push(data, size);
}

void CameraInput::OnRtcp(const std::uint8_t* data, std::size_t size) {
    rtsp::SenderReport report;
    if (!rtsp::FindSenderReport(data, size, report))
        return;
    haveReport_ = true;
    report_ = report;
}

std::int64_t CameraInput::UtcOf(std::int64_t timestamp) const {
    // The picture lies far less than 2^31 ticks (6.6 hours) from the report.
    return haveReport_ ? rtsp::UtcMillisAt(report_, static_cast<std::uint32_t>(timestamp)) : 0;
}

std::shared_ptr<std::vector<unsigned char>> CameraInput::FreeBuffer(std::size_t size) {
    // Buffers come back once the segment files no longer hold their access
    // units. One grown far beyond what this access unit needs (it held a key
    // picture) is let go, so that the pool does not end up holding key
    // pictures' room many times over.
    const std::size_t roomy = std::max<std::size_t>(size * 4, kKeptCapacity);
    for (std::shared_ptr<std::vector<unsigned char>>& buffer : pool_)
        if (buffer.use_count() == 1) {
            if (buffer->capacity() > roomy)
                buffer = std::make_shared<std::vector<unsigned char>>();
            buffer->clear();
            return buffer;
        }
    std::shared_ptr<std::vector<unsigned char>> buffer = std::make_shared<std::vector<unsigned char>>();
    if (pool_.size() < kPoolSize)
        pool_.push_back(buffer);
    return buffer;
}

std::int64_t CameraInput::Advancing(std::int64_t timestamp) {
    bool began = false;
    const std::int64_t given = timestamps_.Give(timestamp, MonotonicMillis() * 90, durations_.usual(), began);
    if (began && !saidStanding_) {
        saidStanding_ = true;
        messages_.Say(description_ + ": the RTP timestamps do not advance; pictures take the times they arrive at "
                                     "until they do");
    }
    return given;
}

void CameraInput::OnAccessUnit(const rtp::AccessUnit& unit) {
    lastVideoMs_ = MonotonicMillis();
    retryMs_ = options_.firstRetryMs;
    absence_.Present();
    // Packets lost or access units dropped since the last access unit (not
    // those before the session's first IRAP picture): pictures are missing
    // here, even when this one is an IRAP picture whose RASL pictures would
    // need them.
    // Kept damaged, they are no break: the pictures go on in one segment.
    const std::uint64_t losses = depacketizer_->counters().accessUnitsDropped + depacketizer_->reorderCounters().lost;
    bool breakBefore = breakPending_ || (sessionUnits_ > 0 && losses != lossesSeen_ && !options_.keepDamaged);
    lossesSeen_ = losses;
    ++sessionUnits_;
    const std::int64_t timestamp = Advancing(unit.timestamp);
    const bool jump = !durations_.Fits(timestamp);
    if (jump) {
        ++jumps_;
        if (jumps_ <= 10)
            messages_.Say(description_ + ": the RTP time jumped; the segment ends there");
        breakBefore = true;
    }
    if (breakBefore) {
        EndRun(); // the pictures before the break end as they usually do
        breakPending_ = false;
    }
    // Within a session, the time the lost pictures took stays in the
    // recording's timeline (Release measures it).
    const bool measureGap = breakBefore && !jump && sessionUnits_ > 1 && haveRunEnd_;
    std::shared_ptr<std::vector<unsigned char>> buffer = FreeBuffer(unit.size + (spropsPending_ ? sprops_.size() : 0));
    buffer->reserve(unit.size + (spropsPending_ ? sprops_.size() : 0));
    std::size_t rest = 0;
    if (spropsPending_) {
        // After an access unit delimiter, which stays first (7.4.2.4.4).
        if (FirstUnitType(unit.data, unit.size) == kAudNut) {
            std::size_t end = 4;
            while (end + 4 <= unit.size &&
                   !(unit.data[end] == 0 && unit.data[end + 1] == 0 && unit.data[end + 2] == 0 && unit.data[end + 3] == 1))
                ++end;
            rest = std::min(end, unit.size);
            buffer->insert(buffer->end(), unit.data, unit.data + rest);
        }
        buffer->insert(buffer->end(), sprops_.begin(), sprops_.end());
        spropsPending_ = false;
    }
    buffer->insert(buffer->end(), unit.data + rest, unit.data + unit.size);
    durations_.Add(timestamp);
    Arrival arrival;
    arrival.utcMillis = h265tools::UtcNow();
    arrival.monotonicMillis = MonotonicMillis();
    held_.push_back(Held{buffer, timestamp, breakBefore, measureGap, arrival, unit.damaged});
    Release();
}

StreamLosses CameraInput::Losses() const {
    StreamLosses losses;
    losses.known = true;
    losses.lostPackets = lost_;
    losses.reorderedPackets = reordered_;
    losses.duplicatePackets = duplicates_;
    losses.droppedAccessUnits = dropped_;
    losses.reconnects = sessions_ > 1 ? sessions_ - 1 : 0;
    if (depacketizer_) { // the session playing now
        const rtp::ReorderCounters& order = depacketizer_->reorderCounters();
        losses.lostPackets += order.lost;
        losses.reorderedPackets += order.reordered;
        losses.duplicatePackets += order.duplicated;
        losses.droppedAccessUnits += depacketizer_->counters().accessUnitsDropped;
    }
    return losses;
}

std::string CameraInput::Summary() const {
    const StreamLosses l = Losses();
    std::string text;
    const auto add = [&text](std::uint64_t n, const char* one, const char* many, const char* what) {
        if (n > 0)
            text += (text.empty() ? "" : ", ") + h265tools::CountedNoun(n, one, many) + what;
    };
    add(l.lostPackets, "packet", "packets", " lost");
    add(l.reorderedPackets, "packet", "packets", " reordered");
    add(l.duplicatePackets, "packet", "packets", " duplicated");
    add(l.droppedAccessUnits, "access unit", "access units", " dropped");
    add(jumps_, "jump", "jumps", " of the RTP time");
    add(l.reconnects, "reconnect", "reconnects", "");
    return text;
}

} // namespace h265split
