// MD5 against RFC 1321's test suite, base64, and the Authorization header
// against RFC 2617's examples (Basic 2, Digest 3.5).
#include "Authentication.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Base64.h"
#include "Md5.h"

namespace {

TEST(Md5, Rfc1321TestSuite) {
    const struct {
        const char* text;
        const char* digest;
    } kCases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(rtsp::Md5Hex(c.text), c.digest) << c.text;
    // Fed in pieces across the 64-byte blocks: the same digest.
    const std::string long80 = kCases[6].text;
    rtsp::Md5 md5;
    for (std::size_t at = 0; at < long80.size(); at += 7)
        md5.Update(long80.substr(at, 7));
    std::uint8_t digest[16];
    md5.Final(digest);
    EXPECT_EQ(digest[0], 0x57);
    EXPECT_EQ(digest[15], 0x7a);
}

TEST(Base64, DecodesOrRefuses) {
    const struct {
        const char* text;
        bool ok;
        const char* bytes;
    } kCases[] = {
        {"QWxhZGRpbjpvcGVuIHNlc2FtZQ==", true, "Aladdin:open sesame"},
        {"QWxhZGRpbjpvcGVuIHNlc2FtZQ", true, "Aladdin:open sesame"},  // padding left off
        {"YQ==", true, "a"},
        {"YWI=", true, "ab"},
        {"", true, ""},
        {"Y", false, ""},
        {"YQ=x", false, ""},
        {"YQ===", false, ""},
        {"Y Q==", false, ""},
    };
    for (const auto& c : kCases) {
        std::vector<std::uint8_t> out;
        ASSERT_EQ(rtsp::Base64Decode(c.text, std::strlen(c.text), out), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(std::string(out.begin(), out.end()), c.bytes);
            EXPECT_EQ(rtsp::Base64Encode(c.bytes), std::string(c.text).size() % 4 ? std::string(c.text) + "==" : c.text);
        }
    }
}

const char kRfc2617Digest[] = "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
                              "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"";

struct ChallengeCase {
    const char* name;
    std::vector<std::string> challenges;
    int requests;          // Authorization asked for this many times; the last one is checked
    const char* contains;  // in the last Authorization, or the error's beginning when empty challenge fails
    bool ok;
    // A later 401's challenge (stale=TRUE, a new nonce), then one request
    // more, checked instead; none when empty.
    const char* later;
};

const ChallengeCase kChallenges[] = {
    {"RFC 2617 3.5", {kRfc2617Digest}, 1,
     "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
     "uri=\"/dir/index.html\", response=\"6629fae49393a05397450978507c4ef1\", "
     "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\", qop=auth, nc=00000001, cnonce=\"0a4f113b\"",
     true, ""},
    {"the second request counts 2", {kRfc2617Digest}, 2, "response=\"15b6bb427e3fecd23a43cb702ce447d5\"", true, ""},
    {"without qop, RFC 2069", {"Digest realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\""}, 1,
     "uri=\"/dir/index.html\", response=\"670fd8c2df070c60b045671b8b24ff02\"", true, ""},
    {"MD5-sess", {std::string(kRfc2617Digest) + ", algorithm=MD5-sess"}, 1,
     "response=\"8e3825c57e897f5a0dec6c2d4e5059d0\", algorithm=MD5-sess", true, ""},
    {"Digest chosen over Basic, in one header", {"Basic realm=\"x\", " + std::string(kRfc2617Digest)}, 1,
     "response=\"6629fae49393a05397450978507c4ef1\"", true, ""},
    {"Basic, RFC 2617 2", {"Basic realm=\"WallyWorld\""}, 1, "Basic TXVmYXNhOkNpcmNsZSBPZiBMaWZl", true, ""},
    {"Digest of SHA-256 alone", {"Digest realm=\"r\", nonce=\"n\", algorithm=SHA-256"}, 0,
     "the server asks for authentication we do not know (Digest with algorithm sha-256)", false, ""},
    {"Digest of SHA-256 beside Basic", {"Digest realm=\"r\", nonce=\"n\", algorithm=SHA-256", "Basic realm=\"r\""}, 1,
     "Basic ", true, ""},
    {"no scheme", {""}, 0, "the server asks for authentication but names no scheme", false, ""},
    {"a new nonce (stale=TRUE) counts from 1 again", {kRfc2617Digest}, 2,
     "nonce=\"5e1f2a\", uri=\"/dir/index.html\", response=\"859ec1639e0531cfb533a7da42e3e0e2\", "
     "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\", qop=auth, nc=00000001,",
     true,
     "Digest realm=\"testrealm@host.com\", qop=\"auth\", nonce=\"5e1f2a\", stale=TRUE, "
     "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\""},
};

TEST(Authenticator, AnswersChallenges) {
    for (const ChallengeCase& c : kChallenges) {
        SCOPED_TRACE(c.name);
        rtsp::Authenticator authenticator("Mufasa", "Circle Of Life");
        authenticator.SetClientNonce("0a4f113b");
        std::string error;
        ASSERT_EQ(authenticator.Challenge(c.challenges, error), c.ok) << error;
        if (!c.ok) {
            EXPECT_EQ(error, c.contains);
            EXPECT_FALSE(authenticator.active());
            continue;
        }
        std::string header;
        for (int i = 0; i < c.requests; ++i)
            header = authenticator.Authorization("GET", "/dir/index.html");
        if (*c.later) {
            ASSERT_TRUE(authenticator.Challenge({c.later}, error)) << error;
            header = authenticator.Authorization("GET", "/dir/index.html");
        }
        EXPECT_NE(header.find(c.contains), std::string::npos) << header;
        EXPECT_EQ(header.find("Circle"), std::string::npos);
    }
}

}  // namespace
