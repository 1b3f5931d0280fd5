#include "RtspClient.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "SessionHeader.h"
#include "TransportHeader.h"

namespace rtsp {

namespace {

const std::size_t kInputBytes = 64 * 1024;
const std::size_t kDatagramBytes = 65536;
// Datagrams read from one socket per wakeup, so that the control
// connection and the other socket get their turn under a flood.
const int kDatagramsPerWakeup = 256;

int MillisecondsUntil(std::chrono::steady_clock::time_point when) {
    const long long left =
        std::chrono::duration_cast<std::chrono::milliseconds>(when - std::chrono::steady_clock::now()).count();
    return left < 0 ? 0 : left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
}

// Frames that come while a response is awaited (before PLAY is answered, or
// after TEARDOWN was sent) have no receiver yet or any more.
class DropFrames : public InterleavedSink {
public:
    explicit DropFrames(std::uint64_t& dropped) : m_dropped(dropped) {}
    void OnFrame(std::uint8_t, const std::uint8_t*, std::size_t) override { ++m_dropped; }

private:
    std::uint64_t& m_dropped;
};

// A comma-separated list of methods (Public, RFC 2326 12.28) names `method`.
bool ListsMethod(const std::string* list, const char* method) {
    if (!list)
        return false;
    std::size_t at = 0;
    while (at <= list->size()) {
        std::size_t end = list->find(',', at);
        if (end == std::string::npos)
            end = list->size();
        const std::size_t first = list->find_first_not_of(" \t", at);
        const std::size_t last = list->find_last_not_of(" \t", end - 1);
        if (first < end && last != std::string::npos && last >= first && list->compare(first, last - first + 1, method) == 0)
            return true;
        at = end + 1;
    }
    return false;
}

}  // namespace

class RtspClient::Delivery : public InterleavedSink {
public:
    Delivery(RtspClient& client, RtpReceiver& receiver) : m_client(client), m_receiver(receiver) {}
    void OnFrame(std::uint8_t channel, const std::uint8_t* data, std::size_t size) override {
        if (channel == m_client.m_rtpChannel)
            m_receiver.OnRtp(data, size);
        else if (channel == m_client.m_rtcpChannel)
            m_receiver.OnRtcp(data, size);
        else {
            ++m_client.m_framesDropped;
            return;
        }
        ++delivered;
    }
    std::size_t delivered = 0;

private:
    RtspClient& m_client;
    RtpReceiver& m_receiver;
};

RtspClient::RtspClient(const RtspUrl& url, const ClientOptions& options)
    : m_url(url), m_options(options), m_requestUrl(url.WithoutCredentials()), m_authenticator(url.user, url.password),
      m_input(kInputBytes) {
    if (m_options.udp)
        m_datagram.resize(kDatagramBytes);
    std::random_device device;
    m_ssrc = device() ^ static_cast<std::uint32_t>(Clock::now().time_since_epoch().count());
    char host[64] = "";
    ::gethostname(host, sizeof host - 1);
    m_cname = m_options.userAgent + "@" + host;
}

RtspClient::~RtspClient() {}

[[noreturn]] void RtspClient::Fail(const std::string& what, const RtspResponse& response) const {
    std::string text = what + ": " + std::to_string(response.status) + " " + response.reason;
    const std::string* location = response.Find("Location");
    if (response.status >= 300 && response.status < 400 && location)
        text += " (to " + location->substr(0, 300) + ")";
    throw RtspError(text, response.status >= 300);
}

long RtspClient::Send(const std::string& method, const std::string& uri, const RtspRequest& extra) {
    RtspRequest request;
    request.method = method;
    request.uri = uri;
    request.cseq = ++m_cseq;
    request.Add("User-Agent", m_options.userAgent);
    if (m_authenticator.active())
        request.Add("Authorization", m_authenticator.Authorization(method, uri));
    if (!m_session.empty())
        request.Add("Session", m_session);
    request.headers.insert(request.headers.end(), extra.headers.begin(), extra.headers.end());
    const std::string text = request.Text();
    std::string error;
    if (!SendAll(m_control.fd(), text.data(), text.size(), m_options.responseTimeoutMs, error))
        throw RtspError(method + " " + uri + ": " + error);
    return request.cseq;
}

// Reads what the control connection has, waiting at most timeoutMs; only
// when the bytes read before are all used.
void RtspClient::ReadControl(int timeoutMs) {
    pollfd p = {m_control.fd(), POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready < 0)
        throw RtspError(errno == EINTR ? "interrupted while waiting for the server"
                                       : std::string("cannot wait for the server: ") + std::strerror(errno));
    if (ready == 0)
        return;
    const ssize_t n = ::recv(m_control.fd(), m_input.data(), m_input.size(), 0);
    if (n == 0)
        throw RtspError("the server closed the connection");
    if (n < 0) {
        if (errno == EINTR || errno == EAGAIN)
            return;
        throw RtspError(std::string("cannot read from the server: ") + std::strerror(errno));
    }
    m_inputBegin = 0;
    m_inputEnd = static_cast<std::size_t>(n);
}

// Feeds the bytes read so far to the interleaved reader, frames to `sink`,
// until a response is whole (true) or the bytes are used up (false).
bool RtspClient::TakeResponse(InterleavedSink& sink, RtspResponse& response) {
    while (m_inputBegin < m_inputEnd) {
        m_inputBegin += m_reader.Consume(m_input.data() + m_inputBegin, m_inputEnd - m_inputBegin, sink);
        if (m_reader.failed())
            throw RtspError("the server sent a response that cannot be read: " + m_reader.error());
        if (m_reader.hasResponse()) {
            response = m_reader.response();
            m_reader.TakeResponse();
            return true;
        }
    }
    return false;
}

RtspResponse RtspClient::AwaitResponse(long cseq, const std::string& what) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_options.responseTimeoutMs);
    DropFrames drop(m_framesDropped);
    RtspResponse response;
    for (;;) {
        while (TakeResponse(drop, response)) {
            // RFC 2326 12.17: the response carries the request's CSeq. One
            // without (some servers leave it out) answers the one request
            // in flight; others answer requests given up on.
            if (response.CSeq() == cseq || response.CSeq() < 0)
                return response;
        }
        const int left = MillisecondsUntil(deadline);
        if (left == 0)
            throw RtspError(what + ": no answer within " + std::to_string(m_options.responseTimeoutMs) + " ms");
        ReadControl(left);
    }
}

RtspResponse RtspClient::Request(const std::string& method, const std::string& uri, RtspRequest extra) {
    const std::string what = method + " " + uri;
    for (int attempt = 0;; ++attempt) {
        const RtspResponse response = AwaitResponse(Send(method, uri, extra), what);
        if (response.status != 401) {
            if (response.status >= 300)
                Fail(what, response);
            return response;
        }
        // RFC 2326 D.2: answer the challenge once; a second 401 refuses the
        // credentials themselves.
        if (!m_url.hasCredentials)
            throw RtspError(what + ": 401 " + response.reason + " (the URL has no user name and password)", true);
        if (attempt > 0)
            throw RtspError(what + ": 401 " + response.reason + " (the user name or password is not accepted)", true);
        std::string error;
        if (!m_authenticator.Challenge(response.FindAll("WWW-Authenticate"), error))
            throw RtspError(what + ": " + error);
    }
}

void RtspClient::Open() {
    std::string error;
    if (!ConnectTcp(m_url.host, m_url.port, m_options.connectTimeoutMs, m_control, m_server, error))
        throw RtspError(error);

    const RtspResponse options = Request("OPTIONS", m_requestUrl, RtspRequest());
    m_getParameter = ListsMethod(options.Find("Public"), "GET_PARAMETER");

    RtspRequest accept;
    accept.Add("Accept", "application/sdp");
    const RtspResponse describe = Request("DESCRIBE", m_requestUrl, accept);
    const std::string* type = describe.Find("Content-Type");
    if (describe.body.empty() || (type && type->find("application/sdp") == std::string::npos))
        throw RtspError("DESCRIBE " + m_requestUrl + ": the answer holds no SDP", true);
    // RFC 2326 C.1.1: the base of the presentation's relative URLs.
    const std::string* base = describe.Find("Content-Base");
    if (!base)
        base = describe.Find("Content-Location");
    const std::string baseUrl = base ? ResolveControl(m_requestUrl, *base) : m_requestUrl;
    if (!ParseSdp(describe.body.data(), describe.body.size(), baseUrl, m_media, error))
        throw RtspError("DESCRIBE " + m_requestUrl + ": " + error, true);

    Setup();

    RtspRequest range;
    range.Add("Range", "npt=0.000-");
    Request("PLAY", m_media.aggregateControl, range);
    m_nextReport = Clock::now() + std::chrono::seconds(1);
    m_keepAliveMethod = m_getParameter ? "GET_PARAMETER" : "OPTIONS";
    m_nextKeepAlive = Clock::now() + std::chrono::milliseconds(m_sessionTimeout * 500ull);
}

void RtspClient::Setup() {
    RtspRequest transport;
    std::string error;
    if (m_options.udp) {
        std::uint16_t port = 0;
        if (!BindUdpPair(m_server.address.ss_family, m_rtp, m_rtcp, port, error))
            throw RtspError(error);
        transport.Add("Transport",
                      "RTP/AVP;unicast;client_port=" + std::to_string(port) + "-" + std::to_string(port + 1));
    } else {
        transport.Add("Transport", "RTP/AVP/TCP;unicast;interleaved=0-1");
    }
    const std::string what = "SETUP " + m_media.control;
    const RtspResponse setup = Request("SETUP", m_media.control, transport);
    const std::string* session = setup.Find("Session");
    if (!session || !ParseSession(*session, m_session, m_sessionTimeout)) {
        m_session.clear();
        throw RtspError(what + ": " + (session ? "a Session header that cannot be read" : "no Session header"));
    }
    const std::string* chosen = setup.Find("Transport");
    Transport t;
    if (!chosen || !ParseTransport(*chosen, t))
        throw RtspError(what + ": " + (chosen ? "a Transport header that cannot be read" : "no Transport header"));
    // Some servers answer a request for TCP with "RTP/AVP;interleaved=0-1":
    // the channels say which transport it is.
    if (t.interleaved[0] >= 0)
        t.tcp = true;
    if (t.tcp != !m_options.udp)
        throw RtspError(what + ": the server chose RTP over " + (t.tcp ? "TCP" : "UDP") + ", not the " +
                        (t.tcp ? "UDP" : "TCP") + " asked for");
    if (t.tcp && t.interleaved[0] >= 0) {
        // RFC 2326 12.39: the server may choose other channels.
        m_rtpChannel = t.interleaved[0];
        m_rtcpChannel = t.interleaved[1];
        m_reader.SetMaxChannel(static_cast<std::uint8_t>(m_rtpChannel > m_rtcpChannel ? m_rtpChannel : m_rtcpChannel));
    }
    if (!t.tcp && !t.source.empty() && !ResolveHost(t.source, m_source))
        m_source = HostAddress();
    if (!t.tcp && t.serverPort[0] >= 0) {
        m_serverRtp = m_serverRtcp = m_server.address;
        const int ports[2] = {t.serverPort[0], t.serverPort[1] >= 0 ? t.serverPort[1] : t.serverPort[0] + 1};
        sockaddr_storage* to[2] = {&m_serverRtp, &m_serverRtcp};
        for (int i = 0; i < 2; ++i) {
            const std::uint16_t port = htons(static_cast<std::uint16_t>(ports[i]));
            if (to[i]->ss_family == AF_INET)
                reinterpret_cast<sockaddr_in*>(to[i])->sin_port = port;
            else if (to[i]->ss_family == AF_INET6)
                reinterpret_cast<sockaddr_in6*>(to[i])->sin6_port = port;
        }
        m_serverPorts = true;
        OpenUdpPath();
    }
}

void RtspClient::SendTo(const Socket& socket, const sockaddr_storage& to, const std::vector<std::uint8_t>& bytes) {
    const socklen_t size = to.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    // Best effort, as RTCP is: a report lost is followed by the next.
    (void)::sendto(socket.fd(), bytes.data(), bytes.size(), MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to),
                   size);
}

void RtspClient::OpenUdpPath() {
    // An RTP header alone (RFC 3550 5.1) from our RTP port, and a receiver
    // report from our RTCP port.
    std::vector<std::uint8_t> rtp(12, 0);
    rtp[0] = 0x80;
    rtp[1] = static_cast<std::uint8_t>(m_media.payloadType >= 0 ? m_media.payloadType : 96);
    for (int i = 0; i < 4; ++i)
        rtp[8 + i] = static_cast<std::uint8_t>(m_ssrc >> (24 - 8 * i));
    SendTo(m_rtp, m_serverRtp, rtp);
    SendTo(m_rtcp, m_serverRtcp, ReceiverReport(m_ssrc, nullptr, m_cname));
}

void RtspClient::SendReceiverReport() {
    const Clock::time_point now = Clock::now();
    m_nextReport = now + std::chrono::milliseconds(m_options.receiverReportMs);
    if (!m_serverPorts)
        return;
    ReportBlock block;
    if (m_reception.any()) {
        block = m_reception.Block();
        if (m_haveSenderReport) {
            // DLSR in units of 1/65536 s (6.4.1).
            const long long micros =
                std::chrono::duration_cast<std::chrono::microseconds>(now - m_lastSrAt).count();
            block.lastSr = m_lastSr;
            block.delaySinceSr = static_cast<std::uint32_t>((static_cast<unsigned long long>(micros) << 16) / 1000000);
        }
    }
    SendTo(m_rtcp, m_serverRtcp, ReceiverReport(m_ssrc, m_reception.any() ? &block : nullptr, m_cname));
}

void RtspClient::KeepAlive() {
    m_nextKeepAlive = Clock::now() + std::chrono::milliseconds(m_sessionTimeout * 500ull);
    Send(m_keepAliveMethod, m_media.aggregateControl, RtspRequest());
}

void RtspClient::KeepAliveAnswered(const RtspResponse& response) {
    const std::string what = "keep-alive " + m_keepAliveMethod + " " + m_media.aggregateControl;
    if (response.status < 300) {
        m_keepAliveRetried = false;
        return;
    }
    if (response.status == 401 && m_url.hasCredentials && !m_keepAliveRetried) {
        // A nonce gone stale: a new challenge, answered once.
        std::string error;
        if (!m_authenticator.Challenge(response.FindAll("WWW-Authenticate"), error))
            throw RtspError(what + ": " + error);
        m_keepAliveRetried = true;
        KeepAlive();
        return;
    }
    // Method Not Allowed, Not Implemented, Option not supported: the server
    // listed GET_PARAMETER but does not take it without a body.
    if (m_keepAliveMethod == "GET_PARAMETER" &&
        (response.status == 405 || response.status == 501 || response.status == 551)) {
        m_keepAliveMethod = "OPTIONS";
        KeepAlive();
        return;
    }
    Fail(what, response);
}

void RtspClient::ReadDatagrams(int fd, bool rtcp, RtpReceiver& receiver, std::size_t& delivered) {
    for (int i = 0; i < kDatagramsPerWakeup; ++i) {
        sockaddr_storage from{};
        socklen_t size = sizeof from;
        const ssize_t n = ::recvfrom(fd, m_datagram.data(), m_datagram.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &size);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNREFUSED)
                return;
            throw RtspError(std::string("cannot read RTP: ") + std::strerror(errno));
        }
        if (!m_server.SameHost(from) && !(m_source.size != 0 && m_source.SameHost(from))) {
            ++m_datagramsIgnored;
            continue;
        }
        const std::uint8_t* d = m_datagram.data();
        if (rtcp) {
            SenderReport report;
            if (FindSenderReport(d, static_cast<std::size_t>(n), report)) {
                // LSR: the middle 32 bits of its NTP time (6.4.1); the first
                // report is answered at once.
                m_lastSr = static_cast<std::uint32_t>(report.ntp >> 16);
                m_lastSrAt = Clock::now();
                if (!m_haveSenderReport)
                    m_nextReport = m_lastSrAt;
                m_haveSenderReport = true;
            }
            receiver.OnRtcp(d, static_cast<std::size_t>(n));
        } else {
            if (n >= 12 && (d[0] >> 6) == 2)
                m_reception.Packet(static_cast<std::uint32_t>(d[8]) << 24 | static_cast<std::uint32_t>(d[9]) << 16 |
                                       static_cast<std::uint32_t>(d[10]) << 8 | d[11],
                                   static_cast<std::uint16_t>(d[2] << 8 | d[3]));
            receiver.OnRtp(d, static_cast<std::size_t>(n));
        }
        ++delivered;
    }
}

bool RtspClient::Receive(RtpReceiver& receiver, int timeoutMs) {
    if (!m_control.open() || m_session.empty())
        throw RtspError("no session is playing");
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    Delivery delivery(*this, receiver);
    for (;;) {
        if (Clock::now() >= m_nextKeepAlive)
            KeepAlive();
        const bool reports = m_options.udp && m_options.receiverReportMs > 0;
        if (reports && Clock::now() >= m_nextReport)
            SendReceiverReport();
        RtspResponse response;
        while (TakeResponse(delivery, response))
            KeepAliveAnswered(response);
        if (delivery.delivered > 0)
            return true;
        const int left = MillisecondsUntil(deadline);
        int untilKeepAlive = MillisecondsUntil(m_nextKeepAlive);
        if (reports && MillisecondsUntil(m_nextReport) < untilKeepAlive)
            untilKeepAlive = MillisecondsUntil(m_nextReport);
        pollfd p[3] = {{m_control.fd(), POLLIN, 0}, {m_rtp.fd(), POLLIN, 0}, {m_rtcp.fd(), POLLIN, 0}};
        const int ready = ::poll(p, m_options.udp ? 3 : 1, left < untilKeepAlive ? left : untilKeepAlive);
        if (ready < 0) {
            if (errno == EINTR)
                return false;
            throw RtspError(std::string("cannot wait for the server: ") + std::strerror(errno));
        }
        if (ready == 0)
            m_reader.Idle(delivery); // a frame held for the byte after it
        if (p[0].revents) {
            const ssize_t n = ::recv(m_control.fd(), m_input.data(), m_input.size(), MSG_DONTWAIT);
            if (n == 0)
                throw RtspError("the server closed the connection");
            if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
                throw RtspError(std::string("cannot read from the server: ") + std::strerror(errno));
            m_inputBegin = 0;
            m_inputEnd = n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        if (m_options.udp) {
            if (p[1].revents)
                ReadDatagrams(m_rtp.fd(), false, receiver, delivery.delivered);
            if (p[2].revents)
                ReadDatagrams(m_rtcp.fd(), true, receiver, delivery.delivered);
        }
        if (left == 0) {
            // Time is up: what was read is used, but no more is waited for,
            // however much keeps coming.
            while (TakeResponse(delivery, response))
                KeepAliveAnswered(response);
            return delivery.delivered > 0;
        }
    }
}

void RtspClient::Teardown() {
    if (!m_control.open() || m_session.empty())
        return;
    try {
        const long cseq = Send("TEARDOWN", m_media.aggregateControl, RtspRequest());
        m_session.clear();
        // The answer is a courtesy: not worth the full wait.
        if (m_options.responseTimeoutMs > 2000)
            m_options.responseTimeoutMs = 2000;
        AwaitResponse(cseq, "TEARDOWN");
    } catch (const std::exception&) {
        m_session.clear();
    }
}

}  // namespace rtsp
