// slice_pic_parameter_set_id as the inspector reads it to pick the PPS of a
// slice segment (H.265 7.3.6.1).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SlicePicParameterSetId.h"

namespace {

using h265tools::PpsIdReading;

struct Case {
    const char* name;
    std::vector<unsigned char> nal; // NAL unit header and the first payload bytes
    PpsIdReading reading;
    unsigned int id;
};

// Payload bits: first_slice_segment_in_pic_flag, no_output_of_prior_pics_flag
// for nal_unit_type 16..23, then the ue(v).
const Case kCases[] = {
    {"TRAIL_R first segment, id 0: 1 1", {0x02, 0x01, 0xC0}, PpsIdReading::kRead, 0},
    {"TRAIL_R later segment, id 1: 0 010", {0x02, 0x01, 0x20}, PpsIdReading::kRead, 1},
    {"BLA_W_LP, id 2: 1 0 011", {0x20, 0x01, 0x98}, PpsIdReading::kRead, 2},
    {"BLA_N_LP, id 0: 1 1 1", {0x24, 0x01, 0xE0}, PpsIdReading::kRead, 0},
    {"CRA, id 63: 0 1 0000001000000", {0x2A, 0x01, 0x40, 0x80}, PpsIdReading::kRead, 63},
    {"RSV_IRAP_VCL23, id 1: 1 0 010", {0x2E, 0x01, 0x90}, PpsIdReading::kRead, 1},
    {"RSV_VCL24 has no no_output_of_prior_pics_flag, id 1: 1 010", {0x30, 0x01, 0xA0}, PpsIdReading::kRead, 1},
    {"IDR_W_RADL, id 64: 1 0 0000001000001", {0x26, 0x01, 0x80, 0x82}, PpsIdReading::kOutOfRange, 0},
    {"TRAIL_N, seven leading zero bits", {0x00, 0x01, 0x80, 0x00}, PpsIdReading::kOutOfRange, 0},
    {"no payload", {0x02, 0x01}, PpsIdReading::kTruncated, 0},
    {"CRA ending inside the ue(v)", {0x2A, 0x01, 0x40}, PpsIdReading::kTruncated, 0},
};

TEST(SlicePicParameterSetId, Cases) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        unsigned int id = 99;
        const PpsIdReading reading = h265tools::ReadSlicePicParameterSetId(c.nal.data(), c.nal.size(), id);
        EXPECT_EQ(static_cast<int>(c.reading), static_cast<int>(reading));
        if (c.reading == PpsIdReading::kRead) {
            EXPECT_EQ(c.id, id);
        }
    }
}

} // namespace
