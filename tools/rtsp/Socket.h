// The sockets of a session: the TCP control connection, made within a time
// limit, and the pair of UDP ports RTP and RTCP come to (RFC 3550 11: RTP on
// an even port, RTCP on the next).
#ifndef RTSP_SOCKET_H
#define RTSP_SOCKET_H

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace rtsp {

// A file descriptor closed with its owner.
class Socket {
public:
    Socket() {}
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket() { Close(); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    Socket(Socket&& other) : m_fd(other.m_fd) { other.m_fd = -1; }
    Socket& operator=(Socket&& other);

    int fd() const { return m_fd; }
    bool open() const { return m_fd >= 0; }
    void Close();

private:
    int m_fd = -1;
};

// An address without its port, to tell datagrams of the server's host from
// others.
struct HostAddress {
    sockaddr_storage address{};
    socklen_t size = 0;
    bool SameHost(const sockaddr_storage& other) const;
};

// Connects to host:port, trying each address the name resolves to, within
// timeoutMs in all. False with `error` set.
bool ConnectTcp(const std::string& host, std::uint16_t port, int timeoutMs, Socket& socket, HostAddress& peer,
                std::string& error);

// Writes all of data[0 .. size), waiting at most timeoutMs for room.
bool SendAll(int fd, const char* data, std::size_t size, int timeoutMs, std::string& error);

// Two UDP sockets on ports p (even) and p + 1 of the family `family`.
bool BindUdpPair(int family, Socket& rtp, Socket& rtcp, std::uint16_t& rtpPort, std::string& error);

// Resolves a numeric address or host name (the Transport's source=) to a
// host address; false when it cannot.
bool ResolveHost(const std::string& host, HostAddress& address);

}  // namespace rtsp

#endif
