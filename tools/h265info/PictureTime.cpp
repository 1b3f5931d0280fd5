#include "PictureTime.h"

#include "TextAppend.h"

namespace h265info {

void AppendPictureTime(std::string& out, const UnitRecord& unit) {
    out += "POC ";
    AppendSigned(out, unit.poc);
    if (!unit.output) {
        out += ", not output";
        return;
    }
    out += ", output #";
    AppendUnsigned(out, unit.outputIndex);
    out += " at ";
    AppendMilliseconds(out, unit.presentationTime);
    out += " s";
}

} // namespace h265info
