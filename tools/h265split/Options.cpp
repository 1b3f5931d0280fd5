#include "Options.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "CommandLine.h"
#include "RtspUrl.h"
#include "UtcTime.h"

namespace h265split {

namespace {

bool ParseCount(const std::string& text, unsigned long long& value) {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value > 0;
}

} // namespace

bool PicturesIn(double seconds, const h265tools::FrameRate& rate, std::uint64_t& pictures) {
    const double count = std::ceil(seconds * rate.PerSecond() - 1e-9);
    if (!(count <= 1e15))
        return false;
    pictures = count < 1 ? 1 : static_cast<std::uint64_t>(count);
    return true;
}

namespace {

bool ParsePositive(const std::string& text, double& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value) && value > 0;
}

// A size in bytes: a whole number, with K, M, G or T for powers of 1024.
bool ParseBytes(const std::string& text, std::uint64_t& bytes) {
    std::string digits = text;
    std::uint64_t unit = 1;
    const std::string units = "KMGT";
    const std::size_t power = digits.empty() ? std::string::npos : units.find(digits.back());
    if (power != std::string::npos) {
        digits.pop_back();
        unit = std::uint64_t(1) << (10 * (power + 1));
    }
    unsigned long long count = 0;
    if (!ParseCount(digits, count) || count > UINT64_MAX / unit)
        return false;
    bytes = count * unit;
    return true;
}

// A time: a number of seconds, or of minutes, hours or days with m, h or d.
bool ParseAge(const std::string& text, double& seconds) {
    std::string number = text;
    double unit = 1;
    if (!number.empty()) {
        const char last = number.back();
        unit = last == 'd' ? 86400 : last == 'h' ? 3600 : last == 'm' ? 60 : 1;
        if (last == 'd' || last == 'h' || last == 'm' || last == 's')
            number.pop_back();
    }
    return ParsePositive(number, seconds) && std::isfinite(seconds *= unit);
}

// A scheme and "://" before anything else: a URL, not a file name.
bool UrlScheme(const std::string& text, std::string& scheme) {
    const std::size_t end = text.find("://");
    if (end == std::string::npos || end == 0)
        return false;
    for (std::size_t i = 0; i < end; ++i) {
        const char c = text[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
            return false;
    }
    scheme = text.substr(0, end);
    return true;
}

// Less than a few seconds of the smallest camera stream: refused before the
// camera is played, since it could not hold the first segment.
const std::uint64_t kLeastCameraBudget = 1 << 20;

// A live window of this many segments goes with a budget when none is asked for.
const std::size_t kLiveWithBudget = 6;

} // namespace

Command ParseArguments(const std::vector<std::string>& args, Options& options, std::string& error) {
    unsigned long long frames = 0;
    double seconds = 2.0;
    bool haveFps = false;
    bool haveSeconds = false;
    std::vector<std::string> operands;
    h265tools::CommandLine line(args);
    std::string arg;
    for (;;) {
        const h265tools::CommandLine::Item item = line.Next(arg);
        if (item == h265tools::CommandLine::Item::kEnd)
            break;
        if (item == h265tools::CommandLine::Item::kHelp)
            return Command::kHelp;
        if (item == h265tools::CommandLine::Item::kOperand) {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--keep-rasl") {
            options.rules.keepRasl = true;
            continue;
        }
        if (arg == "--json") {
            options.json = true;
            continue;
        }
        if (arg == "--resume") {
            options.resume = true;
            continue;
        }
        if (arg == "--keep-damaged") {
            options.cameraOptions.keepDamaged = true;
            continue;
        }
        if (arg != "--format" && arg != "--frames" && arg != "--seconds" && arg != "--fps" && arg != "--start-time" &&
            arg != "--live" && arg != "--keep-bytes" && arg != "--keep-age" && arg != "--rtsp-transport" &&
            arg != "--clock") {
            error = h265tools::UnknownOption(arg);
            return Command::kUsageError;
        }
        std::string value;
        if (!line.Value(value, error))
            return Command::kUsageError;
        if (arg == "--format") {
            if (value == "raw") {
                options.format = OutputFormat::kRaw;
            } else if (value == "fmp4") {
                options.format = OutputFormat::kHls;
            } else if (value == "mp4") {
                options.format = OutputFormat::kMp4;
            } else {
                error = "invalid value '" + value + "' for --format (raw, fmp4 or mp4)";
                return Command::kUsageError;
            }
            continue;
        }
        if (arg == "--start-time") {
            if (value == "now") {
                options.startTimeKind = Options::StartTime::kNow;
            } else if (h265tools::ParseUtc(value, options.startTime)) {
                options.startTimeKind = Options::StartTime::kGiven;
            } else {
                error = "invalid value '" + value +
                        "' for --start-time (now, or a UTC time such as 2026-12-08T14:03:00Z)";
                return Command::kUsageError;
            }
            continue;
        }
        if (arg == "--keep-bytes") {
            if (!ParseBytes(value, options.retention.bytes)) {
                error = "invalid value '" + value + "' for --keep-bytes (a number of bytes, such as 500M or 32G)";
                return Command::kUsageError;
            }
            continue;
        }
        if (arg == "--keep-age") {
            if (!ParseAge(value, options.retention.seconds)) {
                error = "invalid value '" + value + "' for --keep-age (a time, such as 3600, 90m, 12h or 7d)";
                return Command::kUsageError;
            }
            continue;
        }
        if (arg == "--rtsp-transport") {
            if (value != "tcp" && value != "udp") {
                error = "invalid value '" + value + "' for --rtsp-transport (tcp or udp)";
                return Command::kUsageError;
            }
            options.cameraOptions.client.udp = value == "udp";
            continue;
        }
        if (arg == "--clock") {
            if (value != "system" && value != "camera") {
                error = "invalid value '" + value + "' for --clock (system or camera)";
                return Command::kUsageError;
            }
            options.clock = value == "camera" ? ClockReference::kCamera : ClockReference::kSystem;
            continue;
        }
        if (arg == "--live") {
            unsigned long long count = 0;
            if (!ParseCount(value, count) || count > 100000) {
                error = "invalid value '" + value + "' for --live (a number of segments, 1 to 100000)";
                return Command::kUsageError;
            }
            options.liveSegments = static_cast<std::size_t>(count);
            continue;
        }
        haveFps = haveFps || arg == "--fps";
        haveSeconds = haveSeconds || arg == "--seconds";
        const bool valid = arg == "--frames"    ? ParseCount(value, frames)
                           : arg == "--seconds" ? ParsePositive(value, seconds)
                                                : h265tools::ParseFrameRate(value, options.rules.rate);
        if (!valid) {
            error = "invalid value '" + value + "' for " + arg +
                    (arg == "--frames" ? " (a whole number above 0)" : " (a number above 0)");
            return Command::kUsageError;
        }
    }
    if (operands.size() != 2) {
        error = operands.size() < 2 ? "INPUT and OUTDIR are needed" : "more than INPUT and OUTDIR given";
        return Command::kUsageError;
    }
    options.input = operands[0];
    options.directory = operands[1];
    options.camera = rtsp::IsRtspUrl(options.input);
    std::string scheme;
    if (!options.camera && UrlScheme(options.input, scheme)) {
        // Not shown whole: it may hold a password.
        error = "INPUT is a " + scheme + ":// URL: cameras are recorded over rtsp:// only (a file of that name is ./" +
                scheme + "://...)";
        return Command::kUsageError;
    }
    if (options.clock == ClockReference::kCamera && !options.camera) {
        error = "--clock camera goes with a camera (rtsp://): only a camera's sender reports tell its clock";
        return Command::kUsageError;
    }
    if (options.cameraOptions.keepDamaged && !options.camera) {
        error = "--keep-damaged goes with a camera (rtsp://): only its losses are known";
        return Command::kUsageError;
    }
    if (options.camera && options.retention.bytes > 0 && options.retention.bytes < kLeastCameraBudget) {
        error = "--keep-bytes " + std::to_string(options.retention.bytes) +
                " cannot hold a camera's recording: give 1M or more";
        return Command::kUsageError;
    }
    if (options.camera) {
        if (!rtsp::ParseRtspUrl(options.input, options.cameraOptions.url, error))
            return Command::kUsageError;
        // From here on no message can show the password.
        options.input = options.cameraOptions.url.WithoutCredentials();
        if (haveFps) {
            error = "--fps does not go with a camera: its pictures' times are their RTP timestamps";
            return Command::kUsageError;
        }
    }
    options.rules.haveRate = haveFps;
    if (frames > 0 && haveSeconds) {
        error = "--frames and --seconds are alternatives: give one";
        return Command::kUsageError;
    }
    if (options.liveSegments > 0 && options.format != OutputFormat::kHls) {
        error = "--live goes with --format fmp4: it names HLS segments";
        return Command::kUsageError;
    }
    if (options.retention.active() && options.format == OutputFormat::kMp4 && frames == 0 && !haveSeconds) {
        error = "--keep-bytes and --keep-age with --format mp4 need --seconds or --frames: the budget deletes whole files";
        return Command::kUsageError;
    }
    if (options.retention.seconds > 0 && frames == 0 && options.retention.seconds < seconds) {
        error = "--keep-age is shorter than a segment (--seconds)";
        return Command::kUsageError;
    }
    // With a budget, players follow the recording through the live playlist.
    if (options.retention.active() && options.format == OutputFormat::kHls && options.liveSegments == 0)
        options.liveSegments = kLiveWithBudget;
    if (options.format == OutputFormat::kMp4 && frames == 0 && !haveSeconds) {
        // Without --frames or --seconds one MP4 file holds the whole
        // recording: only a new picture size or other parameter sets, which
        // need a new sample entry, start another.
        options.rules.pictures = UINT64_MAX;
    } else if (frames > 0) {
        options.rules.pictures = frames;
    } else {
        // The count follows from the stream's own rate once its first key
        // picture has come; with --fps it is known now.
        options.rules.seconds = seconds;
        if (haveFps && !PicturesIn(seconds, options.rules.rate, options.rules.pictures)) {
            error = "--seconds times --fps is too large";
            return Command::kUsageError;
        }
    }
    return Command::kSplit;
}

const char* UsageText() {
    return "Usage: h265split [--frames N | --seconds S] [--fps F] [--keep-rasl] [--json]\n"
           "                 [--format raw|fmp4|mp4] [--live N] [--start-time UTC]\n"
           "                 [--keep-bytes SIZE] [--keep-age TIME] [--resume]\n"
           "                 [--rtsp-transport tcp|udp] [--clock system|camera] [--keep-damaged]\n"
           "                 INPUT|-|rtsp://CAMERA OUTDIR\n"
           "       h265split --help\n";
}

const char* HelpText() {
    return "Usage: h265split [--frames N | --seconds S] [--fps F] [--keep-rasl] [--json]\n"
           "                 [--format raw|fmp4|mp4] [--live N] [--start-time UTC]\n"
           "                 [--keep-bytes SIZE] [--keep-age TIME] [--resume]\n"
           "                 [--rtsp-transport tcp|udp] [--clock system|camera] [--keep-damaged]\n"
           "                 INPUT|-|rtsp://CAMERA OUTDIR\n"
           "       h265split --help\n"
           "\n"
           "Cuts an H.265/HEVC Annex B byte stream (a file, or standard input for '-')\n"
           "into segments OUTDIR/seg-00000.265, seg-00001.265, ... that each decode on\n"
           "their own. A segment starts at a key picture (IDR, CRA or BLA) that comes\n"
           "late enough after the current one's, and at the first key picture of a new\n"
           "picture size or with other parameter sets. Each segment starts with a VPS, an SPS and a PPS: copies of\n"
           "the latest ones are inserted when its key picture does not carry them.\n"
           "The RASL pictures of a CRA picture that starts a segment cannot be decoded\n"
           "from there and are dropped. Every other byte of the input lands in exactly\n"
           "one segment, in order; pictures before the first key picture, and bytes\n"
           "that are no NAL unit, are skipped and reported.\n"
           "\n"
           "INPUT may be a camera, rtsp://[USER:PASSWORD@]HOST[:PORT]/PATH: its H.265\n"
           "video is played over RTSP (RTP interleaved in the TCP connection unless\n"
           "--rtsp-transport udp) and recorded until SIGINT or SIGTERM. The times of\n"
           "the recording are the pictures' RTP timestamps, its UTC times this\n"
           "machine's clock (see --clock). The parameter\n"
           "sets of the session description come before the first picture. A lost\n"
           "packet drops its picture and every one up to the next key picture; the\n"
           "segment ends there and the next is marked #EXT-X-DISCONTINUITY, its time\n"
           "as late as the lost pictures took (index.json counts the losses). When the\n"
           "RTP time jumps by more than 5 s, the segment ends the same way, and the\n"
           "recording's time goes on without the jump. A session that ends, fails or\n"
           "sends no video for 10 s is opened again after 1 s, then 2, 4 and every 5 s\n"
           "while the camera is away, which is said as it goes, once a minute and as\n"
           "it comes back; only an error answer to the first session ends the run.\n"
           "Packets lost, reordered and duplicated and pictures dropped are reported\n"
           "at the end. The password is never shown. Other URLs than rtsp:// are\n"
           "refused. Messages on standard error start with their UTC time.\n"
           "\n"
           "Segments are written under a temporary name (.tmp) and renamed when\n"
           "complete. OUTDIR/index.csv gets a line per segment as it closes, with\n"
           "the presentation time of its first picture and its duration. SIGINT\n"
           "and SIGTERM close the current segment and end the run. An OUTDIR that\n"
           "holds files of an earlier run is refused (see --resume); a recording a\n"
           "crash left there as rec-NNNNN.mp4.tmp is first kept under a name that plays.\n"
           "\n"
           "Options:\n"
           "  --frames N     start a segment at a key picture N or more pictures after\n"
           "                 the current segment's key picture, in output order\n"
           "  --seconds S    the same after S seconds (default 2) at the frame rate\n"
           "  --fps F        the frame rate, over the stream's own: a number or a\n"
           "                 fraction such as 30000/1001. Without it, the rate of the\n"
           "                 SPS VUI timing, else of the VPS timing, else 25. It gives\n"
           "                 the times of index.csv and of MP4 output too\n"
           "  --keep-rasl    keep the RASL pictures of a CRA picture that starts a segment\n"
           "                 (the playlists then claim no independent segments); not\n"
           "                 after a camera's loss, whose pictures they refer to\n"
           "  --json         also write OUTDIR/index.json, a JSON array kept complete\n"
           "                 after every segment\n"
           "  --format F     raw: .265 segments (the default); fmp4: fragmented MP4\n"
           "                 segments OUTDIR/init.mp4, seg-00000.m4s, ... with the HLS\n"
           "                 playlists index.m3u8 and master.m3u8; mp4: one fragmented\n"
           "                 MP4 file OUTDIR/rec-00000.mp4 for the whole recording (a new\n"
           "                 one at a new picture size), playable up to its last fragment\n"
           "                 while it is written; with --frames or --seconds, a new file\n"
           "                 rec-NNNNN.mp4 at each cut.\n"
           "                 MP4 times come from the frame rate (see --fps) and the\n"
           "                 picture order count; dropped RASL pictures keep their time.\n"
           "                 #EXT-X-TARGETDURATION is fixed when index.m3u8 is first\n"
           "                 written and never changes: --seconds (or --frames at the\n"
           "                 frame rate) plus the longest time between key pictures in\n"
           "                 the first segment, rounded up, and at least the first\n"
           "                 segment's rounded duration; a later segment longer than\n"
           "                 that is reported\n"
           "  --live N       with --format fmp4, also OUTDIR/live.m3u8: a live playlist\n"
           "                 of the last N segments, rewritten after each, which\n"
           "                 master.m3u8 names (index.m3u8 keeps naming every segment)\n"
           "  --start-time T the UTC time of the first picture, such as\n"
           "                 2026-12-08T14:03:00.250Z or 2026-12-08T15:03:00+01:00, and\n"
           "                 the stream's time from there; 'now' for live input, as a\n"
           "                 camera's: see --clock. The UTC\n"
           "                 times go into #EXT-X-PROGRAM-DATE-TIME, a 'prft' box before\n"
           "                 each MP4 fragment and the utc column of index.csv\n"
           "  --clock C      the clock a live recording's UTC times follow: system (the\n"
           "                 default; this machine's, kept right by NTP) or camera (its\n"
           "                 RTCP sender reports). Stream time carries the times from\n"
           "                 one segment to the next, drift slewed out at most 500 ppm;\n"
           "                 a late key picture moves nothing; a difference of more\n"
           "                 than a second (a clock stepped, a camera back from an\n"
           "                 outage) starts a segment with the clock's time after\n"
           "                 #EXT-X-DISCONTINUITY. A camera clock more than a second\n"
           "                 off this machine's is said, with both times\n"
           "  --keep-damaged with a camera: keep the pictures after a loss (the broken\n"
           "                 NAL unit dropped) in the same segment, for a decoder to\n"
           "                 conceal, counted in the damaged column of the index\n"
           "  --keep-bytes SIZE  a budget for OUTDIR: at most SIZE bytes (K, M, G or T\n"
           "                 for powers of 1024, such as 32G), besides the segment being\n"
           "                 written. The recording is then kept in chapters of an hour\n"
           "                 (UTC hours with --start-time) and at most a sixteenth of the\n"
           "                 budget, each with its own playlist index-NNNNN.m3u8 and index\n"
           "                 index-NNNNN.csv (NNNNN: its first segment), instead of\n"
           "                 index.m3u8 and index.csv; OUTDIR/archive.csv lists the\n"
           "                 chapters with their start times. Before the next segment\n"
           "                 could pass the budget, the oldest chapter is deleted whole,\n"
           "                 its line, playlist and index first; the open chapter and the\n"
           "                 segments live.m3u8 names are kept whatever the budget. When\n"
           "                 the device is full, the oldest chapter is deleted and the\n"
           "                 write tried again. master.m3u8 names live.m3u8, of 6\n"
           "                 segments unless --live says otherwise. A budget that cannot\n"
           "                 hold a segment is a usage error\n"
           "  --keep-age TIME   a budget of recording time (seconds, or with m, h or d,\n"
           "                 such as 7d): a chapter goes once its end is that long before\n"
           "                 the newest segment's; at least that much is kept, and at\n"
           "                 most a sixteenth of it more. With --keep-bytes, both hold\n"
           "  --resume       go on with the recording of an earlier run in OUTDIR (a\n"
           "                 recorder restarted after a crash or a power cut), in the\n"
           "                 same --format: segment numbers go on after the highest\n"
           "                 one there, index times after its last segment's end, and\n"
           "                 the fmp4 media times too. index.m3u8 keeps what it names\n"
           "                 and its #EXT-X-TARGETDURATION; its #EXT-X-ENDLIST is cut\n"
           "                 off and the first new segment follows an\n"
           "                 #EXT-X-DISCONTINUITY, with a new init segment unless the\n"
           "                 last one is the same. What the crash left is repaired\n"
           "                 first: index.csv, index.json and index.m3u8 are cut back\n"
           "                 to their last whole entry; seg-NNNNN.m4s.tmp keeps its\n"
           "                 whole movie fragments, seg-NNNNN.265.tmp what comes before\n"
           "                 its last access unit (which may be cut short), under the\n"
           "                 final name, and is listed (removed when nothing whole is\n"
           "                 left); a complete segment without its entries is listed.\n"
           "                 Such an entry in index.csv has empty columns for what only\n"
           "                 the input tells (offsets, picture types, sizes), and a raw\n"
           "                 one's duration is counted at the rate of the segment\n"
           "                 before it. Temporary copies of playlists and init segments\n"
           "                 are removed. An entry that names a missing file is\n"
           "                 reported and kept. Without an earlier run: a new one\n"
           "  --rtsp-transport T  tcp (the default) or udp: how a camera's RTP comes\n"
           "  -h, --help     show this help\n"
           "\n"
           "Exit status:\n"
           "  0  segments written (skipped bytes and a cut-off last access unit are\n"
           "     reported on standard error)\n"
           "  1  the input cannot be read, is no H.265 stream or holds no key picture,\n"
           "     or a write failed\n"
           "  2  usage error\n";
}

} // namespace h265split
