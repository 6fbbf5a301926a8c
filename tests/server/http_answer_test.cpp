#include "http_answer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server_test_support.h"

namespace {

using server_test::encipher;

const std::string kPeer = "127.0.0.9";
const std::string kKnownMac = "00:11:22:AA:BB:CC";
const std::string kLabelledMac = "00:11:22:33:44:55";
const std::string kUpdate = "/update.php";
const std::string kGetIp = "/getipbymac.php";
const std::string kDeviceUpdate = "/register/deviceupdate";
const std::string kGetDomain = "/register/devicegetdomain";

struct HttpCase {
    std::string name;
    std::string head;
    int status;
    std::string body;
    std::string logged_request;
};

std::string get(const std::string& target) { return server_test::device_request(target, "ddns.example"); }

// The device's request for query on path: plain for type 0, enciphered for types 1 and 2.
std::string device_get(const std::string& path, int type, const std::string& query) {
    if (type == 0) {
        return get(path + "?" + query);
    }
    if (type == 1) {
        return get(path + (path == kGetIp ? "?do=getsilent&value=" : "?value=") + encipher(query));
    }
    return get(path + "?encrypt=" + encipher(query));
}

std::string plain_logged(const std::string& path, int type, const std::string& query) {
    return "GET " + path + " type=" + std::to_string(type) + " query=\"" + query + "\"";
}

HttpCase device_case(const std::string& name, const std::string& path, int type, const std::string& query,
                     const std::string& body, int status = 200) {
    return {name, device_get(path, type, query), status, body, plain_logged(path, type, query)};
}

std::vector<HttpCase> device_requests() {
    const std::string type2_query = "id=SN1&mac=" + kLabelledMac + "&port=80&type=0x7";
    return {
        device_case("type 0 update online", kUpdate, 0, "mymac=" + kKnownMac + "&myip=10.0.0.5&",
                    "SUCC:online:10.0.0.5:001122aabbcc.ddns.test"),
        device_case("type 0 update offline", kUpdate, 0, "mymac=" + kKnownMac + "&myip=10.0.0.5&offline=yes",
                    "SUCC:offline:10.0.0.5:001122aabbcc.ddns.test"),
        device_case("type 0 update without ip uses the peer address", kUpdate, 0, "mymac=" + kKnownMac + "&myip=&",
                    "SUCC:online:127.0.0.9:001122aabbcc.ddns.test"),
        device_case("type 0 update of a labelled device", kUpdate, 0, "mymac=" + kLabelledMac + "&myip=10.0.0.6&",
                    "SUCC:online:10.0.0.6:garage.ddns.test"),
        device_case("type 1 update online", kUpdate, 1, "mymac=" + kKnownMac + "&myip=10.0.0.5&myhttp=80&mytype=7",
                    "SUCC:online:10.0.0.5:001122aabbcc.ddns.test"),
        device_case("type 1 update offline", kUpdate, 1, "mymac=" + kKnownMac + "&myip=10.0.0.5&offline=yes",
                    "SUCC:offline:10.0.0.5:001122aabbcc.ddns.test"),
        device_case("type 0 lookup", kGetIp, 0, "do=getsilent&mymac=" + kKnownMac + "&", "SUCC:001122aabbcc.ddns.test"),
        device_case("type 0 lookup of a labelled device", kGetIp, 0, "do=getsilent&mymac=" + kLabelledMac + "&",
                    "SUCC:garage.ddns.test"),
        device_case("type 0 lookup of an unknown device", kGetIp, 0, "do=getsilent&mymac=AA:AA:AA:AA:AA:AA&",
                    "FAIL unknown device"),
        device_case("type 1 lookup", kGetIp, 1, "mymac=" + kKnownMac + "&", "SUCC:001122aabbcc.ddns.test"),
        device_case("type 2 update online", kDeviceUpdate, 2, type2_query + "&status=online", "SUCCESS"),
        device_case("type 2 update offline", kDeviceUpdate, 2, type2_query + "&status=offline", "SUCCESS"),
        device_case("type 2 lookup", kGetDomain, 2, type2_query, "ACK SUCCESS domain=SN1.ddns.test"),
        device_case("type 2 lookup of a labelled device", kGetDomain, 2, "id=SN2&mac=x",
                    "ACK SUCCESS domain=cam2.ddns.test"),
        device_case("type 2 lookup of an unknown device", kGetDomain, 2, "id=SN404", "FAIL unknown device"),
    };
}

std::vector<HttpCase> refused_requests() {
    return {
        device_case("no mymac", kUpdate, 0, "myip=10.0.0.5&", "bad request: no mymac", 400),
        device_case("type 2 update without status", kDeviceUpdate, 2, "id=SN1&port=80",
                    "bad request: status is neither online nor offline", 400),
        device_case("type 2 update without id", kDeviceUpdate, 2, "id=&status=online", "bad request: no id", 400),
        {"value not hexadecimal", get("/update.php?value=xyz"), 400, "bad request: value is not a ciphertext",
         "request=\"GET /update.php?value=xyz HTTP/1.0\""},
        {"lookup without do=getsilent", get("/getipbymac.php?mymac=" + kKnownMac + "&"), 400,
         "bad request: do=getsilent missing", "request=\"GET /getipbymac.php?mymac=" + kKnownMac + "& HTTP/1.0\""},
        {"type 2 without encrypt", get("/register/deviceupdate?id=SN1"), 400,
         "bad request: encrypt is missing or not a ciphertext",
         "request=\"GET /register/deviceupdate?id=SN1 HTTP/1.0\""},
        {"not GET", "POST /update.php HTTP/1.0\r\n\r\n", 400, "bad request: malformed request line",
         "request=\"POST /update.php HTTP/1.0\""},
        {"not HTTP/1.x", "GET /update.php?mymac=a& HTTP/2.0\r\n\r\n", 400, "bad request: malformed request line",
         "request=\"GET /update.php?mymac=a& HTTP/2.0\""},
        {"head not finished", "GET /update.php?mymac=a& HTTP/1.0\r\nHost:x\r\n", 400,
         "bad request: incomplete request", "request=\"GET /update.php?mymac=a& HTTP/1.0\""},
        {"unknown path", get("/index.html"), 404, "not found", "request=\"GET /index.html HTTP/1.0\""},
        {"control bytes are escaped in the log", "GET /a\tb HTTP/1.0\r\n\r\n", 404, "not found",
         "request=\"GET /a\\x09b HTTP/1.0\""},
    };
}

class HttpAnswerTest : public ::testing::Test {
protected:
    HttpAnswerTest() {
        registry_.assign_label(kLabelledMac, "garage");
        registry_.assign_label("SN2", "cam2");
        registry_.report(ozu_ref::IdentityKind::Mac, kKnownMac, "online");
        registry_.report(ozu_ref::IdentityKind::Serial, "SN1", "online");
    }

    void expect_answers(const std::vector<HttpCase>& cases, bool device_request) {
        for (const HttpCase& c : cases) {
            SCOPED_TRACE(c.name);
            const ozu_ref::HttpAnswer answer = ozu_ref::answer_http(c.head, kPeer, registry_);
            EXPECT_EQ(answer.status, c.status);
            EXPECT_EQ(answer.body, c.body);
            EXPECT_EQ(answer.request, c.logged_request);
            EXPECT_EQ(answer.device_request, device_request);
        }
    }

    std::string body_for(const std::string& head) { return ozu_ref::answer_http(head, kPeer, registry_).body; }

    ozu_ref::Registry registry_{"ddns.test"};
};

TEST_F(HttpAnswerTest, AnswersEveryDeviceRequestForm) { expect_answers(device_requests(), true); }

TEST_F(HttpAnswerTest, RefusesMalformedRequests) { expect_answers(refused_requests(), false); }

TEST_F(HttpAnswerTest, RemembersWhatDevicesReport) {
    body_for(device_get(kUpdate, 0, "mymac=" + kKnownMac + "&myip=1.2.3.4&offline=yes"));
    EXPECT_EQ(registry_.status(kKnownMac), "offline");
    const std::string lookup = device_get(kGetDomain, 2, "id=SN8&mac=m&port=80&type=0x1");
    EXPECT_EQ(body_for(lookup), "FAIL unknown device");
    body_for(device_get(kDeviceUpdate, 2, "id=SN8&status=offline"));
    EXPECT_EQ(registry_.status("SN8"), "offline");
    EXPECT_EQ(body_for(lookup), "ACK SUCCESS domain=SN8.ddns.test");
    body_for(device_get(kDeviceUpdate, 2, "id=SN8&status=online"));
    EXPECT_EQ(registry_.status("SN8"), "online");
    // A MAC learned over type 0 is found over type 1.
    body_for(device_get(kUpdate, 0, "mymac=0A:0B:0C:0D:0E:0F&myip=10.1.1.1&"));
    EXPECT_EQ(body_for(device_get(kGetIp, 1, "mymac=0A:0B:0C:0D:0E:0F&")), "SUCC:0a0b0c0d0e0f.ddns.test");
}

TEST(HttpReplyHead, StatusLineAndHeaders) {
    EXPECT_EQ(ozu_ref::http_reply_head(200), "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n");
    EXPECT_EQ(ozu_ref::http_reply_head(400), "HTTP/1.0 400 Bad Request\r\nContent-Type: text/plain\r\n\r\n");
    EXPECT_EQ(ozu_ref::http_reply_head(404), "HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\n\r\n");
}

}  // namespace
