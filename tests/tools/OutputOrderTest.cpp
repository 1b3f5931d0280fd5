// Output order by the bumping process of C.5.2: each case gives pictures in
// decoding order (PicOrderCntVal, starts a coded video sequence) and the
// index each gets in output order.
#include <vector>

#include <gtest/gtest.h>

#include "OutputOrder.h"

namespace {

struct Picture {
    int poc;
    bool startsSequence;
    unsigned expectedIndex;
};

struct Case {
    const char* name;
    unsigned reorder;
    std::vector<Picture> pictures;
};

const Case kCases[] = {
    {"no reordering", 0, {{0, 1, 0}, {1, 0, 1}, {2, 0, 2}}},
    {"one B-picture", 1, {{0, 1, 0}, {2, 0, 2}, {1, 0, 1}, {4, 0, 4}, {3, 0, 3}}},
    {"B-pyramid of 3", 2, {{0, 1, 0}, {4, 0, 4}, {2, 0, 2}, {1, 0, 1}, {3, 0, 3}, {8, 0, 8}, {6, 0, 6}, {5, 0, 5}, {7, 0, 7}}},
    // A CRA picture's leading pictures have lower POCs and come after it.
    {"leading pictures after a CRA", 2, {{0, 1, 0}, {4, 0, 1}, {8, 0, 5}, {6, 0, 3}, {5, 0, 2}, {7, 0, 4}}},
    // A new coded video sequence outputs what waits: its POCs restart.
    {"IDR restarts POC", 2, {{0, 1, 0}, {4, 0, 3}, {2, 0, 1}, {3, 0, 2}, {0, 1, 4}, {2, 0, 6}, {1, 0, 5}}},
    // Leading pictures of an IDR_W_RADL have negative POCs.
    {"RADL before an IDR", 2, {{0, 1, 0}, {1, 0, 1}, {0, 1, 4}, {-2, 0, 2}, {-1, 0, 3}, {1, 0, 5}}},
    // A larger reorder depth than the stream needs changes nothing.
    {"depth above the stream's", 15, {{0, 1, 0}, {2, 0, 2}, {1, 0, 1}, {4, 0, 4}, {3, 0, 3}}},
};

h265tools::DecodedPicture Decoded(std::uint64_t id, int poc, bool startsSequence, unsigned reorder) {
    h265tools::DecodedPicture picture;
    picture.id = id;
    picture.poc = poc;
    picture.startsSequence = startsSequence;
    picture.maxNumReorder = reorder;
    return picture;
}

TEST(OutputOrder, Bumping) {
    for (const Case& c : kCases) {
        h265tools::OutputOrder order;
        for (std::size_t i = 0; i < c.pictures.size(); ++i)
            order.Add(Decoded(i, c.pictures[i].poc, c.pictures[i].startsSequence, c.reorder));
        order.Flush();
        std::vector<unsigned> indices(c.pictures.size(), 999);
        h265tools::OutputPosition out;
        std::size_t decided = 0;
        while (order.Take(out)) {
            ASSERT_TRUE(out.output) << c.name;
            indices[static_cast<std::size_t>(out.id)] = static_cast<unsigned>(out.index);
            ++decided;
        }
        ASSERT_EQ(decided, c.pictures.size()) << c.name;
        for (std::size_t i = 0; i < c.pictures.size(); ++i)
            EXPECT_EQ(indices[i], c.pictures[i].expectedIndex) << c.name << ", picture " << i;
    }
}

// With the stream's reorder depth, a picture's place is known after at most
// that many more pictures: the bound of a fragment's wait.
TEST(OutputOrder, DecidedWithinReorderDepth) {
    h265tools::OutputOrder order;
    const int pocs[] = {0, 4, 2, 1, 3, 8, 6, 5, 7};
    std::uint64_t id = 0;
    for (int poc : pocs)
        order.Add(Decoded(id++, poc, poc == 0, 2));
    EXPECT_EQ(order.Waiting(), 2u);
}

// A damaged picture order count far above its neighbours' would keep the
// picture waiting to the end of the sequence, and every fragment behind it
// in memory: it is output once kMaxAge later pictures have come.
TEST(OutputOrder, WildPictureOrderCountWaitsBoundedly) {
    h265tools::OutputOrder order;
    order.Add(Decoded(0, 0, true, 1));
    order.Add(Decoded(1, 1 << 30, false, 1));
    std::uint64_t id = 2;
    for (; id < 2 + h265tools::OutputOrder::kMaxAge; ++id)
        order.Add(Decoded(id, static_cast<int>(id), false, 1));
    h265tools::OutputPosition out;
    std::uint64_t wildIndex = 0;
    bool wildOut = false;
    while (order.Take(out))
        if (out.id == 1) {
            wildOut = true;
            wildIndex = out.index;
        }
    EXPECT_TRUE(wildOut);
    EXPECT_LE(wildIndex, h265tools::OutputOrder::kMaxAge + 1);
    EXPECT_EQ(order.latePictures(), 1u);
    EXPECT_LE(order.Waiting(), 2u);
}

} // namespace
