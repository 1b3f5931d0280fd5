#include "StreamInspection.h"

#include <iostream>
#include <system_error>

#include "CountedNoun.h"
#include "InputKind.h"
#include "Inspector.h"
#include "NalUnitReader.h"
#include "PictureTimeline.h"
#include "Progress.h"
#include "StreamInput.h"

namespace h265info {

using h265tools::InputError;

bool InspectStream(const std::string& name, const FrameRate* rateOption, Report& report, std::ostream& out) {
    h265tools::StreamInput input(name);
    h265tools::NalUnitReader reader(input.fd());
    h265tools::NalUnitView unit;
    const auto next = [&] {
        try {
            return reader.Next(unit);
        } catch (const std::system_error& e) {
            throw InputError("cannot read " + input.description() + ": " + e.code().message());
        }
    };
    const bool any = next();
    // An MP4 file or an H.264 stream is named as such, not listed as the NAL
    // units it seems to hold; other input is listed after a warning.
    const h265tools::InputKind kind = h265tools::GuessInputKind(reader.FirstBytes());
    const std::string kindMessage = h265tools::InputKindMessage(kind, name, input.description());
    if (kind == h265tools::InputKind::kIsoBmff || kind == h265tools::InputKind::kH264)
        throw InputError(kindMessage);
    if (!any) {
        if (reader.BytesRead() == 0)
            throw InputError(input.description() + " is empty");
        throw InputError("no start code (00 00 01) in the " +
                         h265tools::CountedNoun(reader.BytesRead(), "byte", "bytes") + " of " + input.description() +
                         ": not an H.265 Annex B byte stream");
    }
    if (!kindMessage.empty())
        std::cerr << "h265info: " << kindMessage << '\n';

    Inspector inspector;
    h265tools::Progress progress("h265info", h265tools::StreamInput::IsStandardInput(name) ? "standard input" : name,
                                 input.size());
    report.Begin(name);
    bool clean = true;
    const auto say = [&](const std::string& message) {
        progress.Clear();
        out.flush();
        std::cerr << "h265info: " << message << '\n';
    };
    PictureTimeline timeline(rateOption, [&](const UnitRecord& record) {
        report.Unit(record);
        if (!record.error.empty()) {
            clean = false;
            say(record.error);
        }
        if (!record.note.empty())
            say(record.note);
    });
    h265tools::UnitReading reading;
    do {
        UnitRecord record = inspector.Inspect(unit, reading);
        timeline.Add(std::move(record), reading);
        progress.Update(reader.BytesRead());
    } while (next());
    progress.Clear();
    Summary& summary = inspector.Finish(reader.BytesRead(), reader.LeadingBytes());
    timeline.Finish(summary.timing, inspector.hdr());
    report.End(summary);
    return clean;
}

} // namespace h265info
