#include "BoxHeader.h"

namespace h265split {

std::uint64_t BigEndian(const unsigned char* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | p[i];
    return value;
}

bool ReadBoxHeader(const unsigned char* p, std::uint64_t available, std::uint64_t room, BoxHeader& box) {
    if (available < 8)
        return false;
    box.type.assign(p + 4, p + 8);
    box.size = BigEndian(p, 4);
    box.headerSize = 8;
    if (box.size == 1) {
        if (available < 16)
            return false;
        box.size = BigEndian(p + 8, 8);
        box.headerSize = 16;
    }
    return box.size >= box.headerSize && box.size <= room;
}

} // namespace h265split
