#include "Socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace rtsp {

namespace {

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const long long left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

std::uint16_t PortOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

bool BindUdp(int family, std::uint16_t port, Socket& socket) {
    Socket s(::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!s.open())
        return false;
    sockaddr_storage address{};
    socklen_t size;
    if (family == AF_INET6) {
        sockaddr_in6& a = reinterpret_cast<sockaddr_in6&>(address);
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_any;
        a.sin6_port = htons(port);
        size = sizeof a;
    } else {
        sockaddr_in& a = reinterpret_cast<sockaddr_in&>(address);
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        a.sin_port = htons(port);
        size = sizeof a;
    }
    if (::bind(s.fd(), reinterpret_cast<sockaddr*>(&address), size) != 0)
        return false;
    // Room for the bursts of a large picture's packets between two reads;
    // the kernel may give less.
    const int bytes = 2 << 20;
    ::setsockopt(s.fd(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    socket = std::move(s);
    return true;
}

}  // namespace

Socket& Socket::operator=(Socket&& other) {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

void Socket::Close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool HostAddress::SameHost(const sockaddr_storage& other) const {
    if (size == 0)
        return true;
    // An IPv4 peer seen through an IPv6 socket comes as ::ffff:a.b.c.d.
    if (address.ss_family == AF_INET && other.ss_family == AF_INET6) {
        const sockaddr_in6& b = reinterpret_cast<const sockaddr_in6&>(other);
        return IN6_IS_ADDR_V4MAPPED(&b.sin6_addr) &&
               std::memcmp(b.sin6_addr.s6_addr + 12, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, 4) == 0;
    }
    if (address.ss_family != other.ss_family)
        return false;
    if (address.ss_family == AF_INET)
        return reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in&>(other).sin_addr.s_addr;
    if (address.ss_family == AF_INET6)
        return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(address).sin6_addr,
                           &reinterpret_cast<const sockaddr_in6&>(other).sin6_addr, 16) == 0;
    return false;
}

bool ResolveHost(const std::string& host, HostAddress& address) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list)
        return false;
    std::memcpy(&address.address, list->ai_addr, list->ai_addrlen);
    address.size = list->ai_addrlen;
    ::freeaddrinfo(list);
    return true;
}

bool ConnectTcp(const std::string& host, std::uint16_t port, int timeoutMs, Socket& socket, HostAddress& peer,
                std::string& error) {
    const std::chrono::steady_clock::time_point deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int resolved = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (resolved != 0) {
        error = "cannot resolve '" + host + "': " + ::gai_strerror(resolved);
        return false;
    }
    error = "cannot connect to " + host + " port " + std::to_string(port);
    for (addrinfo* a = list; a; a = a->ai_next) {
        Socket s(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol));
        if (!s.open())
            continue;
        int result = ::connect(s.fd(), a->ai_addr, a->ai_addrlen);
        if (result != 0 && errno == EINPROGRESS) {
            pollfd p = {s.fd(), POLLOUT, 0};
            int ready;
            do
                ready = ::poll(&p, 1, RemainingMs(deadline));
            while (ready < 0 && errno == EINTR);
            int soError = ETIMEDOUT;
            socklen_t length = sizeof soError;
            if (ready > 0)
                ::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &soError, &length);
            errno = soError;
            result = soError == 0 ? 0 : -1;
        }
        if (result != 0) {
            error = "cannot connect to " + host + " port " + std::to_string(port) + ": " + std::strerror(errno);
            if (RemainingMs(deadline) == 0)
                break;
            continue;
        }
        ::fcntl(s.fd(), F_SETFL, ::fcntl(s.fd(), F_GETFL) & ~O_NONBLOCK);
        std::memcpy(&peer.address, a->ai_addr, a->ai_addrlen);
        peer.size = a->ai_addrlen;
        socket = std::move(s);
        ::freeaddrinfo(list);
        return true;
    }
    ::freeaddrinfo(list);
    return false;
}

bool SendAll(int fd, const char* data, std::size_t size, int timeoutMs, std::string& error) {
    const std::chrono::steady_clock::time_point deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (size > 0) {
        pollfd p = {fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            error = ready == 0 ? "the server takes no more data (timed out sending)" : std::strerror(errno);
            return false;
        }
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            error = std::string("cannot send to the server: ") + std::strerror(errno);
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool BindUdpPair(int family, Socket& rtp, Socket& rtcp, std::uint16_t& rtpPort, std::string& error) {
    for (int attempt = 0; attempt < 32; ++attempt) {
        Socket first;
        if (!BindUdp(family, 0, first))
            break;
        sockaddr_storage address{};
        socklen_t size = sizeof address;
        ::getsockname(first.fd(), reinterpret_cast<sockaddr*>(&address), &size);
        std::uint16_t port = PortOf(address);
        // The system chose an odd port: try the even one after it.
        if (port % 2 != 0) {
            if (port == 65535 || !BindUdp(family, static_cast<std::uint16_t>(port + 1), first))
                continue;
            ++port;
        }
        Socket second;
        if (port < 65535 && BindUdp(family, static_cast<std::uint16_t>(port + 1), second)) {
            rtp = std::move(first);
            rtcp = std::move(second);
            rtpPort = port;
            return true;
        }
    }
    error = "cannot bind a pair of UDP ports for RTP and RTCP";
    return false;
}

}  // namespace rtsp
