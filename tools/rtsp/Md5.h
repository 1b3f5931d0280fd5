// MD5 (RFC 1321), for HTTP Digest authentication (RFC 2617), which RTSP
// servers ask for with a 401 (RFC 2326 D.2). Not for anything where MD5's
// weakness as a hash would matter: Digest fixes the algorithm.
#ifndef RTSP_MD5_H
#define RTSP_MD5_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace rtsp {

class Md5 {
public:
    Md5();
    void Update(const void* data, std::size_t size);
    void Update(const std::string& text) { Update(text.data(), text.size()); }
    // The 16-byte digest; the object is used up.
    void Final(std::uint8_t digest[16]);

private:
    void Block(const std::uint8_t* block);

    std::uint32_t m_state[4];
    std::uint64_t m_bytes = 0;
    std::uint8_t m_buffer[64];
};

// The digest as 32 lower-case hex digits, as Digest's request-digest wants.
std::string Md5Hex(const std::string& text);

}  // namespace rtsp

#endif
