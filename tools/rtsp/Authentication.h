// Answers to a server's 401 (RFC 2326 D.2): the Authorization header of
// Basic (RFC 2617 2) or Digest (RFC 2617 3, MD5 and MD5-sess, with
// qop=auth when the server offers it, else the RFC 2069 form without).
// Digest is chosen over Basic when a server offers both. The password stays
// in this object: no error text holds it.
#ifndef RTSP_AUTHENTICATION_H
#define RTSP_AUTHENTICATION_H

#include <string>
#include <vector>

namespace rtsp {

class Authenticator {
public:
    Authenticator(const std::string& user, const std::string& password);

    // Takes the challenges of a 401's WWW-Authenticate headers. False with
    // `error` set when none is one we can answer.
    bool Challenge(const std::vector<std::string>& wwwAuthenticate, std::string& error);
    // After a Challenge: requests carry Authorization.
    bool active() const { return m_scheme != Scheme::kNone; }

    // The Authorization header's value for a request (Digest counts its
    // requests with the nonce in nc).
    std::string Authorization(const std::string& method, const std::string& uri);

    // The client nonce of Digest with qop; random unless set (for tests).
    void SetClientNonce(const std::string& cnonce) { m_cnonce = cnonce; }

private:
    enum class Scheme { kNone, kBasic, kDigest };
    std::string m_user, m_password;
    Scheme m_scheme = Scheme::kNone;
    std::string m_realm, m_nonce, m_opaque, m_algorithm, m_cnonce;
    bool m_qopAuth = false;
    bool m_session = false;  // MD5-sess
    unsigned m_nonceCount = 0;
};

}  // namespace rtsp

#endif
