// The bitrate over a sliding one-second window of pictures: the bytes of the
// last round(fps) pictures, in bits per second.
#ifndef H265INFO_BITRATE_WINDOW_H
#define H265INFO_BITRATE_WINDOW_H

#include <cstdint>
#include <vector>

namespace h265info {

class BitrateWindow {
public:
    // fps above 0 (the options allow up to 1000).
    explicit BitrateWindow(double fps);

    // Adds a picture and gives the bitrate of the window that ends with it.
    // Before the first second is full the window holds fewer pictures, so
    // the curve rises from 0 as a player's buffer would see it.
    double Add(std::uint64_t bytes);

private:
    double bitsPerSecondPerByte_;
    std::vector<std::uint64_t> ring_;
    std::size_t next_ = 0;
    std::uint64_t sum_ = 0;
};

} // namespace h265info

#endif
