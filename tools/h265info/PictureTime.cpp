#include "PictureTime.h"

namespace h265info {

std::string PictureTimeText(const UnitRecord& unit) {
    std::string text = "POC " + std::to_string(unit.poc);
    if (!unit.output)
        return text + ", not output";
    return text + ", output #" + std::to_string(unit.outputIndex) + " at " + SecondsText(unit.presentationTime) + " s";
}

} // namespace h265info
