#include "Authentication.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>

#include "Base64.h"
#include "Md5.h"
#include "TextFields.h"

namespace rtsp {

namespace {

struct ParsedChallenge {
    std::string scheme;  // lower case
    std::map<std::string, std::string> parameters;  // names in lower case
};

// challenge = auth-scheme 1*SP 1#auth-param, auth-param = token "="
// ( token | quoted-string ) (RFC 2617 1.2). A header may hold several
// challenges, separated by commas like the parameters: a token without "="
// begins the next.
std::vector<ParsedChallenge> Challenges(const std::string& header) {
    std::vector<ParsedChallenge> challenges;
    std::size_t at = 0;
    const std::size_t n = header.size();
    while (at < n) {
        while (at < n && (header[at] == ' ' || header[at] == '\t' || header[at] == ','))
            ++at;
        std::size_t end = at;
        while (end < n && header[end] != ' ' && header[end] != '\t' && header[end] != ',' && header[end] != '=')
            ++end;
        if (end == at)
            break;
        std::string token = header.substr(at, end - at);
        std::size_t after = end;
        while (after < n && (header[after] == ' ' || header[after] == '\t'))
            ++after;
        if (after >= n || header[after] != '=') {
            ParsedChallenge challenge;
            challenge.scheme = Lower(token);
            challenges.push_back(challenge);
            at = end;
            continue;
        }
        // A parameter: quoted-string with \-escapes, or a token.
        at = after + 1;
        while (at < n && (header[at] == ' ' || header[at] == '\t'))
            ++at;
        std::string value;
        if (at < n && header[at] == '"') {
            for (++at; at < n && header[at] != '"'; ++at) {
                if (header[at] == '\\' && at + 1 < n)
                    ++at;
                value += header[at];
            }
            ++at;
        } else {
            while (at < n && header[at] != ',' && header[at] != ' ' && header[at] != '\t')
                value += header[at++];
        }
        if (!challenges.empty())
            challenges.back().parameters[Lower(token)] = value;
    }
    return challenges;
}

std::string RandomNonce() {
    std::random_device device;
    std::mt19937 generator(device() ^ static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    char text[17];
    std::snprintf(text, sizeof text, "%08x%08x", static_cast<unsigned>(generator()), static_cast<unsigned>(generator()));
    return text;
}

// The values we put in quoted-strings come from the server (realm, nonce,
// opaque) or the URL: quotes and backslashes are escaped, so that none ends
// the string early.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"' || text[i] == '\\')
            out += '\\';
        if (text[i] != '\r' && text[i] != '\n')
            out += text[i];
    }
    return out + "\"";
}

}  // namespace

Authenticator::Authenticator(const std::string& user, const std::string& password)
    : m_user(user), m_password(password) {}

bool Authenticator::Challenge(const std::vector<std::string>& wwwAuthenticate, std::string& error) {
    const ParsedChallenge* basic = nullptr;
    const ParsedChallenge* digest = nullptr;
    std::vector<ParsedChallenge> all;
    for (std::size_t i = 0; i < wwwAuthenticate.size(); ++i) {
        const std::vector<ParsedChallenge> some = Challenges(wwwAuthenticate[i]);
        all.insert(all.end(), some.begin(), some.end());
    }
    std::string unsupported;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const ParsedChallenge& challenge = all[i];
        if (challenge.scheme == "basic" && !basic) {
            basic = &challenge;
        } else if (challenge.scheme == "digest" && !digest) {
            const std::map<std::string, std::string>::const_iterator algorithm = challenge.parameters.find("algorithm");
            const std::string name = algorithm == challenge.parameters.end() ? "md5" : Lower(algorithm->second);
            if ((name == "md5" || name == "md5-sess") && challenge.parameters.count("nonce"))
                digest = &challenge;
            else if (unsupported.size() < 100)
                unsupported = "Digest with algorithm " + name.substr(0, 40);
        } else if (challenge.scheme != "basic" && challenge.scheme != "digest" && unsupported.size() < 100) {
            unsupported = challenge.scheme.substr(0, 40);
        }
    }
    if (digest) {
        const std::map<std::string, std::string>& p = digest->parameters;
        m_scheme = Scheme::kDigest;
        m_realm = p.count("realm") ? p.at("realm") : std::string();
        const std::string nonce = p.at("nonce");
        if (nonce != m_nonce)
            m_nonceCount = 0;
        m_nonce = nonce;
        m_opaque = p.count("opaque") ? p.at("opaque") : std::string();
        m_algorithm = p.count("algorithm") ? p.at("algorithm") : std::string();
        m_session = Lower(m_algorithm) == "md5-sess";
        // qop-options: a quoted list of tokens, "auth" among them or not.
        m_qopAuth = false;
        if (p.count("qop")) {
            const std::string qop = Lower(p.at("qop"));
            std::size_t at = 0;
            while (at <= qop.size()) {
                std::size_t end = qop.find(',', at);
                if (end == std::string::npos)
                    end = qop.size();
                std::string token = qop.substr(at, end - at);
                token.erase(0, token.find_first_not_of(" \t"));
                token.erase(token.find_last_not_of(" \t") + 1);
                m_qopAuth = m_qopAuth || token == "auth";
                at = end + 1;
            }
        }
        if (m_cnonce.empty())
            m_cnonce = RandomNonce();
        return true;
    }
    if (basic) {
        m_scheme = Scheme::kBasic;
        return true;
    }
    error = all.empty() ? "the server asks for authentication but names no scheme"
                        : "the server asks for authentication we do not know (" + unsupported + ")";
    return false;
}

std::string Authenticator::Authorization(const std::string& method, const std::string& uri) {
    if (m_scheme == Scheme::kBasic)
        return "Basic " + Base64Encode(m_user + ":" + m_password);
    if (m_scheme != Scheme::kDigest)
        return std::string();
    // RFC 2617 3.2.2.1 to 3.2.2.3.
    char nc[9];
    std::snprintf(nc, sizeof nc, "%08x", ++m_nonceCount);
    std::string ha1 = Md5Hex(m_user + ":" + m_realm + ":" + m_password);
    if (m_session)
        ha1 = Md5Hex(ha1 + ":" + m_nonce + ":" + m_cnonce);
    const std::string ha2 = Md5Hex(method + ":" + uri);
    const std::string response = m_qopAuth ? Md5Hex(ha1 + ":" + m_nonce + ":" + nc + ":" + m_cnonce + ":auth:" + ha2)
                                           : Md5Hex(ha1 + ":" + m_nonce + ":" + ha2);
    std::string header = "Digest username=" + Quoted(m_user) + ", realm=" + Quoted(m_realm) +
                         ", nonce=" + Quoted(m_nonce) + ", uri=" + Quoted(uri) + ", response=\"" + response + "\"";
    if (!m_algorithm.empty())
        header += ", algorithm=" + m_algorithm;
    if (!m_opaque.empty())
        header += ", opaque=" + Quoted(m_opaque);
    if (m_qopAuth)
        header += ", qop=auth, nc=" + std::string(nc) + ", cnonce=" + Quoted(m_cnonce);
    return header;
}

}  // namespace rtsp
