// The GOP structure of a stream as M and N, in output order: M the distance
// from one picture that is not a B picture (an anchor) to the next, N that
// from one key picture to the next; each the most common one, ties going to
// the smaller. Open when a key picture has RASL pictures, which refer to
// pictures before it.
#ifndef H265INFO_GOP_STRUCTURE_H
#define H265INFO_GOP_STRUCTURE_H

#include <cstdint>
#include <map>

namespace h265info {

class GopStructure {
public:
    // The next output picture: its NALU_TYPE picture type and whether it is
    // an IRAP picture.
    void Add(int pictureType, bool key);
    // A RASL picture came.
    void LeadingRasl() { open_ = true; }

    std::uint64_t M() const { return MostCommon(anchorDistances_); }
    std::uint64_t N() const { return MostCommon(keyDistances_); } // 0 with fewer than two key pictures
    bool Open() const { return open_; }

private:
    static std::uint64_t MostCommon(const std::map<std::uint64_t, std::uint64_t>& counts);

    std::uint64_t pictures_ = 0;
    bool sawAnchor_ = false;
    bool sawKey_ = false;
    std::uint64_t lastAnchor_ = 0;
    std::uint64_t lastKey_ = 0;
    std::map<std::uint64_t, std::uint64_t> anchorDistances_; // distance -> how often
    std::map<std::uint64_t, std::uint64_t> keyDistances_;
    bool open_ = false;
};

} // namespace h265info

#endif
