// The client side of an RTSP session (RFC 2326) as IP cameras serve it:
// OPTIONS, DESCRIBE, SETUP of the one H.265 video media, PLAY, then RTP and
// RTCP packets, interleaved in the control connection (RFC 2326 10.12) or
// on a pair of UDP ports, with the session kept alive by requests at half
// its timeout, and TEARDOWN at the end. Basic and Digest authentication
// answer a 401.
//
// The password of the URL is sent only as the server asks for it and
// appears in no message: requests and errors name the URL without
// credentials.
#ifndef RTSP_RTSP_CLIENT_H
#define RTSP_RTSP_CLIENT_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "Authentication.h"
#include "InterleavedReader.h"
#include "RtcpPacket.h"
#include "RtspRequest.h"
#include "RtspResponse.h"
#include "RtspUrl.h"
#include "Sdp.h"
#include "Socket.h"

namespace rtsp {

class RtpReceiver {
public:
    virtual ~RtpReceiver() {}
    virtual void OnRtp(const std::uint8_t* data, std::size_t size) = 0;   // one whole RTP packet; valid for the call
    virtual void OnRtcp(const std::uint8_t* data, std::size_t size) = 0;  // one compound RTCP packet
};

struct ClientOptions {
    bool udp = false;  // RTP over UDP with RTCP; else TCP interleaved (the default)
    int connectTimeoutMs = 5000;
    int responseTimeoutMs = 10000;
    std::string userAgent = "h265split";
    // With UDP: receiver reports to the server's RTCP port every this many
    // milliseconds (RFC 3550 6.2), the first after the first sender report
    // or a second after PLAY; 0 sends none. Cameras behind a NAT, and some
    // others, stop sending to a receiver that never reports.
    int receiverReportMs = 5000;
};

// Messages never hold the password. `refused`: the server answered, with an
// error status or a description without H.265 video; asking again the same
// way will not do better (a wrong path or password).
class RtspError : public std::runtime_error {
public:
    explicit RtspError(const std::string& what, bool refused = false) : std::runtime_error(what), m_refused(refused) {}
    bool refused() const { return m_refused; }

private:
    bool m_refused;
};

class RtspClient {
public:
    RtspClient(const RtspUrl& url, const ClientOptions& options);
    ~RtspClient();  // closes the sockets (no TEARDOWN)
    RtspClient(const RtspClient&) = delete;
    RtspClient& operator=(const RtspClient&) = delete;

    // Connects; OPTIONS, DESCRIBE, SETUP of the H.265 media, PLAY. Throws RtspError.
    void Open();
    const H265Media& media() const { return m_media; }

    // Waits at most timeoutMs for input and hands whole packets to
    // `receiver`; sends the keep-alive when it is due (GET_PARAMETER when
    // the server's Public lists it, else OPTIONS, at half the session's
    // timeout). True when at least one packet came; false when none came in
    // timeoutMs, or at once when a signal interrupted the wait (so that the
    // caller can look at its stop flag). Throws RtspError when the server
    // closed the connection, answered an error or sent what cannot be read.
    bool Receive(RtpReceiver& receiver, int timeoutMs);

    // Best effort TEARDOWN; never throws.
    void Teardown();

    std::uint64_t bytesSkipped() const { return m_reader.bytesSkipped(); }  // garbage between interleaved frames
    std::uint64_t datagramsIgnored() const { return m_datagramsIgnored; }  // UDP, not from the server's host
    std::uint64_t framesDropped() const { return m_framesDropped; }        // packets before PLAY was answered, or of other channels

private:
    class Delivery;
    typedef std::chrono::steady_clock Clock;

    RtspResponse Request(const std::string& method, const std::string& uri, RtspRequest extra);
    long Send(const std::string& method, const std::string& uri, const RtspRequest& extra);
    RtspResponse AwaitResponse(long cseq, const std::string& what);
    void ReadControl(int timeoutMs);
    bool TakeResponse(InterleavedSink& sink, RtspResponse& response);
    void Setup();
    void KeepAlive();
    void KeepAliveAnswered(const RtspResponse& response);
    void ReadDatagrams(int fd, bool rtcp, RtpReceiver& receiver, std::size_t& delivered);
    // UDP: datagrams from our RTP and RTCP ports to the server's, so that
    // a NAT or firewall between lets its packets in; and our reports.
    void OpenUdpPath();
    void SendReceiverReport();
    void SendTo(const Socket& socket, const sockaddr_storage& to, const std::vector<std::uint8_t>& bytes);
    [[noreturn]] void Fail(const std::string& what, const RtspResponse& response) const;

    RtspUrl m_url;
    ClientOptions m_options;
    std::string m_requestUrl;
    Authenticator m_authenticator;
    Socket m_control, m_rtp, m_rtcp;
    HostAddress m_server;
    HostAddress m_source;  // the Transport's source=, when it names another sender
    InterleavedReader m_reader;
    std::vector<std::uint8_t> m_input;
    std::size_t m_inputBegin = 0, m_inputEnd = 0;
    std::vector<std::uint8_t> m_datagram;
    H265Media m_media;
    std::string m_session;
    unsigned m_sessionTimeout = 0;
    bool m_getParameter = false;
    long m_cseq = 0;
    std::string m_keepAliveMethod;
    bool m_keepAliveRetried = false;
    Clock::time_point m_nextKeepAlive;
    int m_rtpChannel = 0, m_rtcpChannel = 1;
    std::uint64_t m_datagramsIgnored = 0;
    std::uint64_t m_framesDropped = 0;
    // RTCP of a UDP session.
    sockaddr_storage m_serverRtp{}, m_serverRtcp{};
    bool m_serverPorts = false;
    std::uint32_t m_ssrc = 0;  // ours, as a receiver
    std::string m_cname;
    ReceptionStatistics m_reception;
    bool m_haveSenderReport = false;
    std::uint32_t m_lastSr = 0;
    Clock::time_point m_lastSrAt, m_nextReport;
};

}  // namespace rtsp

#endif
