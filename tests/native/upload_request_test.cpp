#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "upload/request.h"

namespace {
// A body as the reader hands it over: a zero-filled 1024-byte buffer.
struct Body {
    char bytes[UPLOAD_BODY_BYTES] = {};
    explicit Body(const std::string &text)
    {
        std::memcpy(bytes, text.data(), text.size() < sizeof bytes ? text.size() : sizeof bytes);
    }
};

std::string request(int service, const std::string &body, const char16_t *id, const char16_t *key,
                    int *ok = nullptr, const char **why = nullptr)
{
    Body b(body);
    char out[UPLOAD_REQUEST_BYTES];
    std::memset(out, 'x', sizeof out);
    const int built = build_upload_request(service, b.bytes, id, key, out, why);
    if (ok)
        *ok = built;
    for (char c : out)
        if (!built && c != 0)
            return "(refused request left bytes behind)";
    return std::string(out, strnlen(out, sizeof out));
}

const std::string wu_tail =
    "&softwaretype=vws%20versionxx&action=updateraw&realtime=1&rtfreq=2.5 HTTP/1.0\r\n"
    "Host:  rtupdate.wunderground.com\r\n\r\n";
const std::string wc_tail = " HTTP/1.0\r\nHost:  api.weathercloud.net\r\n\r\n";
} // namespace

TEST(UploadRequest, BothServicesByteForByte)
{
    EXPECT_EQ(request(UPLOAD_WU, "dateutc=now&tempf=46.8&humidity=78", u"KXYZ12", u"s3cret"),
              "GET /weatherstation/updateweatherstation.php?ID=KXYZ12&PASSWORD=s3cret&"
              "dateutc=now&tempf=46.8&humidity=78" + wu_tail);
    // Nothing goes between key and body: the console's body starts with "/".
    EXPECT_EQ(request(UPLOAD_WC, "/temp/215/hum/45", u"abc", u"0123"),
              "GET /v01/set/wid/abc/key/0123/temp/215/hum/45" + wc_tail);
}

TEST(UploadRequest, CredentialsArePercentEncoded)
{
    struct Case {
        const char *name;
        const char16_t *id, *key;
        const char *id_field, *key_field;
    } const cases[] = {
        {"space, ampersand, hash", u"K 1&2", u"p&w#d", "K%201%262", "p%26w%23d"},
        {"plus, percent, equals", u"a+b", u"50%=x", "a%2Bb", "50%25%3Dx"},
        {"slash, question mark", u"w/1", u"k?", "w%2F1", "k%3F"},
        {"unreserved marks stay", u"A-z.0_9~", u"Zz09", "A-z.0_9~", "Zz09"},
        {"non-ASCII as its UTF-8 bytes", u"Z\u00fcrich", u"\u20ac", "Z%C3%BCrich", "%E2%82%AC"},
        {"surrogate pair", u"\U0001F600", u"k", "%F0%9F%98%80", "k"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(request(UPLOAD_WU, "b=1", c.id, c.key),
                  std::string("GET /weatherstation/updateweatherstation.php?ID=") + c.id_field +
                      "&PASSWORD=" + c.key_field + "&b=1" + wu_tail);
        EXPECT_EQ(request(UPLOAD_WC, "/b/1", c.id, c.key),
                  std::string("GET /v01/set/wid/") + c.id_field + "/key/" + c.key_field + "/b/1" +
                      wc_tail);
    }
}

TEST(UploadRequest, RefusedRatherThanCut)
{
    const std::u16string long63(63, u'a'), long64(64, u'a');
    // 21 two-byte characters are 42 UTF-8 bytes; 32 of them are 64.
    const std::u16string wide31(31, u'\u00e9'), wide32(32, u'\u00e9');
    const std::u16string hashes63(63, u'#');
    struct Case {
        const char *name;
        const char16_t *id, *key;
        std::string body;
        int built;
    } const cases[] = {
        {"empty ID", u"", u"key", "b=1", 0},
        {"empty key", u"id", u"", "b=1", 0},
        {"63-byte ID fits", long63.c_str(), u"k", "b=1", 1},
        {"64-byte ID does not", long64.c_str(), u"k", "b=1", 0},
        {"62 UTF-8 bytes of key fit", u"i", wide31.c_str(), "b=1", 1},
        {"64 UTF-8 bytes of key do not", u"i", wide32.c_str(), "b=1", 0},
        {"63 bytes of key that encode to 189 fit", u"i", hashes63.c_str(), "b=1", 1},
        {"encoding takes the request past 1023 bytes", u"i", hashes63.c_str(),
         std::string(850, 'b'), 0},
        {"body too long for the request", u"i", u"k", std::string(1000, 'b'), 0},
        {"body without NUL", u"i", u"k", std::string(UPLOAD_BODY_BYTES, 'b'), 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (int service : {UPLOAD_WU, UPLOAD_WC}) {
            int built = -1;
            const char *why = "unset";
            const std::string text = request(service, c.body, c.id, c.key, &built, &why);
            EXPECT_EQ(built, c.built) << "service " << service;
            EXPECT_EQ(text.empty(), c.built == 0) << "service " << service;
            EXPECT_EQ(why == nullptr, c.built == 1) << "a refusal says why, a request nothing";
        }
    }
}

TEST(UploadRequest, BodyLineEndsAreTrimmedAndWhatCannotStandInARequestLineEncoded)
{
    struct Case {
        const char *name;
        std::string body, field;
    } const cases[] = {
        {"CR LF at the end", "a=1&b=2\r\n", "a=1&b=2"},
        {"LF at the end", "a=1\n", "a=1"},
        {"several line ends", "a=1\r\n\n\r", "a=1"},
        {"space", "a=1 b", "a=1%20b"},
        {"line end inside", "a=1\r\nX-Extra: 1", "a=1%0D%0AX-Extra:%201"},
        {"tab and DEL", "a=\t\x7f", "a=%09%7F"},
        {"UTF-8 bytes", "t=\xc3\xa9", "t=%C3%A9"},
        {"the console's own encoding stays", "d=2026-12-08+14%3A30&x=/#", "d=2026-12-08+14%3A30&x=/#"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(request(UPLOAD_WU, c.body, u"i", u"k"),
                  "GET /weatherstation/updateweatherstation.php?ID=i&PASSWORD=k&" + c.field + wu_tail);
        EXPECT_EQ(request(UPLOAD_WC, c.body, u"i", u"k"), "GET /v01/set/wid/i/key/k" + c.field + wc_tail);
    }
}

TEST(UploadRequest, LongestRequestThatFits)
{
    // 1023 bytes is the limit: find the body length that reaches it exactly.
    const std::string empty_body = request(UPLOAD_WC, "", u"i", u"k");
    const std::size_t room = UPLOAD_REQUEST_BYTES - 1 - empty_body.size();
    int built = 0;
    EXPECT_EQ(request(UPLOAD_WC, std::string(room, 'b'), u"i", u"k", &built).size(),
              static_cast<std::size_t>(UPLOAD_REQUEST_BYTES - 1));
    EXPECT_EQ(built, 1);
    request(UPLOAD_WC, std::string(room + 1, 'b'), u"i", u"k", &built);
    EXPECT_EQ(built, 0);
}

TEST(UploadRequest, CredentialsOfTheServiceInViewComeFromTheBoxes)
{
    EXPECT_EQ(credential_source(UPLOAD_WU, 0), CREDENTIALS_FROM_BOXES);
    EXPECT_EQ(credential_source(UPLOAD_WU, 1), CREDENTIALS_FROM_STORE);
    EXPECT_EQ(credential_source(UPLOAD_WC, 1), CREDENTIALS_FROM_BOXES);
    EXPECT_EQ(credential_source(UPLOAD_WC, 0), CREDENTIALS_FROM_STORE);
}

TEST(UploadRequest, LoneSurrogateBecomesReplacementCharacter)
{
    char out[8];
    const char16_t text[] = {u'a', 0xD800, u'b', 0};
    ASSERT_TRUE(utf16_to_utf8(text, out, sizeof out));
    EXPECT_STREQ(out, "a\xef\xbf\xbd" "b");
    EXPECT_FALSE(utf16_to_utf8(u"abcdefgh", out, sizeof out));
    EXPECT_STREQ(out, "");
}

TEST(UploadServer, HostAndPort)
{
    struct Case {
        const char16_t *text;
        int ok;
        const char *host;
        int port;
    } const cases[] = {
        {u"127.0.0.1:8080", 1, "127.0.0.1", 8080},
        {u"localhost:1", 1, "localhost", 1},
        {u"localhost:65535", 1, "localhost", 65535},
        {u"localhost:65536", 0, "", 0},
        {u"localhost:0", 0, "", 0},
        {u"localhost:", 0, "", 0},
        {u":80", 0, "", 0},
        {u"localhost", 0, "", 0},
        {u"localhost:8o", 0, "", 0},
        {u"localhost:000080", 0, "", 0},
        {u"local host:80", 0, "", 0},
        {u"h\u00f6st:80", 0, "", 0},
        {u"", 0, "", 0},
    };
    for (const Case &c : cases) {
        char host[UPLOAD_HOST_BYTES];
        int port = -1;
        EXPECT_EQ(parse_upload_server(c.text, host, &port), c.ok) << c.host << " " << c.port;
        EXPECT_STREQ(host, c.host);
        EXPECT_EQ(port, c.port);
    }
    std::u16string longest(127, u'h'), too_long(128, u'h');
    char host[UPLOAD_HOST_BYTES];
    int port;
    EXPECT_TRUE(parse_upload_server((longest + u":80").c_str(), host, &port));
    EXPECT_EQ(std::strlen(host), 127u);
    EXPECT_FALSE(parse_upload_server((too_long + u":80").c_str(), host, &port));
}
