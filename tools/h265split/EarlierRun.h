// What an earlier run of h265split left in OUTDIR. A run never writes among
// another run's files: its segment numbers would start at 0 again over the
// earlier ones, and index.csv and the playlists would name a mix of both.
#ifndef H265SPLIT_EARLIER_RUN_H
#define H265SPLIT_EARLIER_RUN_H

#include <string>

#include "Messages.h"

namespace h265split {

// Before anything is written: keeps each recording a crash left under its
// temporary name under a name that plays (TornRecording), reports every
// other temporary file of ours, and throws WriteError naming the files when
// OUTDIR then holds any file of an earlier run. Files whose names are not of
// this tool are not ours and are left alone.
void RefuseEarlierRun(const std::string& directory, Messages& messages);

} // namespace h265split

#endif
