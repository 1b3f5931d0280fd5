// The segment boundaries of an h265split index.csv: its header line, then one
// line per segment whose first_byte_offset column is the byte offset, in the
// input stream, of the segment's first start code.
#ifndef H265INFO_SEGMENT_INDEX_H
#define H265INFO_SEGMENT_INDEX_H

#include <cstdint>
#include <string>
#include <vector>

namespace h265info {

// The first_byte_offset of every segment, in ascending order. Throws
// std::runtime_error naming the file and line when the file cannot be read,
// has no first_byte_offset column, or a line holds no decimal offset there.
std::vector<std::uint64_t> ReadSegmentOffsets(const std::string& path);

} // namespace h265info

#endif
