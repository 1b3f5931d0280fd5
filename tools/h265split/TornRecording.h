// A one-file recording (rec-NNNNN.mp4.tmp) that a crash or a power cut left
// under its temporary name. Its fragments were flushed one by one as they
// were written, so everything up to its last whole movie fragment plays:
// that part is kept under a final name.
#ifndef H265SPLIT_TORN_RECORDING_H
#define H265SPLIT_TORN_RECORDING_H

#include <string>

#include "Messages.h"

namespace h265split {

// Cuts OUTDIR/NAME back to its last whole top-level box (the ftyp and moov
// of the init segment, then whole moof + mdat pairs), flushes it and renames
// it to NAME without ".tmp", or to a free name beside it; never over an
// existing file. A file whose moov is not whole, or that is no regular
// file, is left as it is. Each outcome is reported. Throws WriteError.
void KeepTornRecording(const std::string& directory, const std::string& name, Messages& messages);

} // namespace h265split

#endif
