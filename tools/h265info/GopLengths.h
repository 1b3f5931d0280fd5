// The distances, in pictures, between consecutive key pictures, and their
// minimum, median and maximum.
#ifndef H265INFO_GOP_LENGTHS_H
#define H265INFO_GOP_LENGTHS_H

#include <cstdint>
#include <map>

namespace h265info {

class GopLengths {
public:
    void KeyPicture(std::uint64_t pictureIndex);

    bool Empty() const { return histogram_.empty(); }
    std::uint64_t Min() const;
    std::uint64_t Max() const;
    // The lower median when the count is even.
    std::uint64_t Median() const;

private:
    // Count per distinct distance. The distances add up to at most the
    // number of pictures, so d distinct ones need d(d+1)/2 pictures: a
    // stream of N pictures keeps at most sqrt(2N) entries.
    std::map<std::uint64_t, std::uint64_t> histogram_;
    std::uint64_t count_ = 0;
    bool haveKey_ = false;
    std::uint64_t lastKey_ = 0;
};

} // namespace h265info

#endif
