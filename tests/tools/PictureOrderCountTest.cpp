// Picture order count (8.3.1) over a sequence of pictures with
// MaxPicOrderCntLsb 16: wrap-around both ways, prevTid0Pic skipping
// sub-layer non-reference, RASL/RADL and TemporalId > 0 pictures, and the
// resets at IRAP pictures with NoRaslOutputFlag 1.
#include <gtest/gtest.h>

#include "PictureOrderCount.h"
#include "SyntaxError.h"

namespace {

enum { TRAIL_N = 0, TRAIL_R = 1, TSA_N = 2, RADL_R = 7, RASL_N = 8, BLA_W_LP = 16, IDR_W_RADL = 19,
       IDR_N_LP = 20, CRA = 21, EOS = 36 };

TEST(PictureOrderCount, FollowsPrevTid0PicAndResets) {
    struct Step {
        int type, temporalId;
        unsigned lsb;
        bool startsSequence;
        int poc;         // PicOrderCntVal; ignored for EOS
        bool started;    // StartedSequence()
    };
    const Step steps[] = {
        {IDR_W_RADL, 0, 0, false, 0, true},
        {TRAIL_R, 0, 8, false, 8, false},
        {TRAIL_R, 0, 15, false, 15, false},
        {TRAIL_R, 0, 3, false, 19, false},   // wraps forwards: PicOrderCntMsb 16
        {TRAIL_N, 0, 12, false, 12, false},  // a sub-layer non-reference picture, not prevTid0Pic
        {TRAIL_R, 0, 5, false, 21, false},   // still from POC 19; from POC 12 it would be 5
        {TSA_N, 1, 14, false, 14, false},    // TemporalId 1: from POC 21 back by a wrap
        {RADL_R, 0, 13, false, 29, false},   // nor is a RADL picture prevTid0Pic
        {TRAIL_R, 0, 7, false, 23, false},   // from POC 21, not 29 or 14
        {CRA, 0, 10, false, 26, false},      // a CRA inside the stream keeps counting
        {RASL_N, 0, 9, false, 25, false},
        {EOS, 0, 0, false, 0, false},
        {CRA, 0, 4, false, 4, true},         // after an end of sequence: NoRaslOutputFlag 1
        {CRA, 0, 9, true, 9, true},          // HandleCraAsBlaFlag
        {BLA_W_LP, 0, 7, false, 7, true},
        {IDR_N_LP, 0, 0, false, 0, true},
        {TRAIL_R, 0, 14, false, -2, false},  // wraps backwards: PicOrderCntMsb -16
    };
    h265tools::PictureOrderCount poc;
    int index = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(index++);
        if (s.type == EOS) {
            poc.EndOfSequence();
            continue;
        }
        EXPECT_EQ(poc.Next(s.type, s.temporalId, s.lsb, 0, s.startsSequence), s.poc);
        EXPECT_EQ(poc.StartedSequence(), s.started);
    }
}

TEST(PictureOrderCount, FirstCraOfTheStreamHasNoRaslOutputFlag) {
    h265tools::PictureOrderCount poc;
    EXPECT_EQ(poc.Next(CRA, 0, 40, 4), 40);
    EXPECT_TRUE(poc.NoRaslOutputFlag());
    EXPECT_EQ(poc.Next(RASL_N, 0, 38, 4), 38);
    EXPECT_EQ(poc.Next(CRA, 0, 48, 4), 48);
    EXPECT_FALSE(poc.NoRaslOutputFlag());
    EXPECT_THROW(poc.Next(TRAIL_R, 0, 0, 13), h265tools::SyntaxError);
}

} // namespace
