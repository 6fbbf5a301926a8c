#include "http_answer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server_test_support.h"

namespace {

using server_test::device_request;
using server_test::encipher;

const std::string kPeer = "127.0.0.9";
const std::string kKnownMac = "00:11:22:AA:BB:CC";
const std::string kLabelledMac = "00:11:22:33:44:55";

struct HttpCase {
    std::string name;
    std::string head;
    int status;
    std::string body;
    std::string logged_request;
    bool device_request;
};

std::string get(const std::string& target) { return device_request(target, "ddns.example"); }

std::string plain_logged(const std::string& path, int type, const std::string& query) {
    return "GET " + path + " type=" + std::to_string(type) + " query=\"" + query + "\"";
}

std::vector<HttpCase> device_requests() {
    const std::string type1_online = "mymac=" + kKnownMac + "&myip=10.0.0.5&myhttp=80&mytype=7";
    const std::string type1_offline = "mymac=" + kKnownMac + "&myip=10.0.0.5&offline=yes";
    const std::string type2_online = "id=SN1&mac=" + kLabelledMac + "&port=80&type=0x7&status=online";
    const std::string type2_offline = "id=SN1&mac=" + kLabelledMac + "&port=80&type=0x7&status=offline";
    const std::string type2_lookup = "id=SN1&mac=" + kLabelledMac + "&port=80&type=0x7";
    return {
        {"type 0 update online", get("/update.php?mymac=" + kKnownMac + "&myip=10.0.0.5&"), 200,
         "SUCC:online:10.0.0.5:001122aabbcc.ddns.test",
         plain_logged("/update.php", 0, "mymac=" + kKnownMac + "&myip=10.0.0.5&"), true},
        {"type 0 update offline", get("/update.php?mymac=" + kKnownMac + "&myip=10.0.0.5&offline=yes"), 200,
         "SUCC:offline:10.0.0.5:001122aabbcc.ddns.test",
         plain_logged("/update.php", 0, "mymac=" + kKnownMac + "&myip=10.0.0.5&offline=yes"), true},
        {"type 0 update without ip uses the peer address", get("/update.php?mymac=" + kKnownMac + "&myip=&"), 200,
         "SUCC:online:127.0.0.9:001122aabbcc.ddns.test",
         plain_logged("/update.php", 0, "mymac=" + kKnownMac + "&myip=&"), true},
        {"type 0 update of a labelled device", get("/update.php?mymac=" + kLabelledMac + "&myip=10.0.0.6&"), 200,
         "SUCC:online:10.0.0.6:garage.ddns.test",
         plain_logged("/update.php", 0, "mymac=" + kLabelledMac + "&myip=10.0.0.6&"), true},
        {"type 1 update online", get("/update.php?value=" + encipher(type1_online)), 200,
         "SUCC:online:10.0.0.5:001122aabbcc.ddns.test", plain_logged("/update.php", 1, type1_online), true},
        {"type 1 update offline", get("/update.php?value=" + encipher(type1_offline)), 200,
         "SUCC:offline:10.0.0.5:001122aabbcc.ddns.test", plain_logged("/update.php", 1, type1_offline), true},
        {"type 0 lookup", get("/getipbymac.php?do=getsilent&mymac=" + kKnownMac + "&"), 200,
         "SUCC:001122aabbcc.ddns.test",
         plain_logged("/getipbymac.php", 0, "do=getsilent&mymac=" + kKnownMac + "&"), true},
        {"type 0 lookup of a labelled device", get("/getipbymac.php?do=getsilent&mymac=" + kLabelledMac + "&"), 200,
         "SUCC:garage.ddns.test", plain_logged("/getipbymac.php", 0, "do=getsilent&mymac=" + kLabelledMac + "&"),
         true},
        {"type 0 lookup of an unknown device", get("/getipbymac.php?do=getsilent&mymac=AA:AA:AA:AA:AA:AA&"), 200,
         "FAIL unknown device", plain_logged("/getipbymac.php", 0, "do=getsilent&mymac=AA:AA:AA:AA:AA:AA&"), true},
        {"type 1 lookup", get("/getipbymac.php?do=getsilent&value=" + encipher("mymac=" + kKnownMac + "&")), 200,
         "SUCC:001122aabbcc.ddns.test", plain_logged("/getipbymac.php", 1, "mymac=" + kKnownMac + "&"), true},
        {"type 2 update online", get("/register/deviceupdate?encrypt=" + encipher(type2_online)), 200, "SUCCESS",
         plain_logged("/register/deviceupdate", 2, type2_online), true},
        {"type 2 update offline", get("/register/deviceupdate?encrypt=" + encipher(type2_offline)), 200, "SUCCESS",
         plain_logged("/register/deviceupdate", 2, type2_offline), true},
        {"type 2 lookup", get("/register/devicegetdomain?encrypt=" + encipher(type2_lookup)), 200,
         "ACK SUCCESS domain=SN1.ddns.test", plain_logged("/register/devicegetdomain", 2, type2_lookup), true},
        {"type 2 lookup of a labelled device", get("/register/devicegetdomain?encrypt=" + encipher("id=SN2&mac=x")),
         200, "ACK SUCCESS domain=cam2.ddns.test", plain_logged("/register/devicegetdomain", 2, "id=SN2&mac=x"), true},
        {"type 2 lookup of an unknown device", get("/register/devicegetdomain?encrypt=" + encipher("id=SN404")), 200,
         "FAIL unknown device", plain_logged("/register/devicegetdomain", 2, "id=SN404"), true},
    };
}

std::vector<HttpCase> refused_requests() {
    return {
        {"no mymac", get("/update.php?myip=10.0.0.5&"), 400, "bad request: no mymac",
         plain_logged("/update.php", 0, "myip=10.0.0.5&"), false},
        {"value not hexadecimal", get("/update.php?value=xyz"), 400, "bad request: value is not a ciphertext",
         "request=\"GET /update.php?value=xyz HTTP/1.0\"", false},
        {"lookup without do=getsilent", get("/getipbymac.php?mymac=" + kKnownMac + "&"), 400,
         "bad request: do=getsilent missing",
         "request=\"GET /getipbymac.php?mymac=" + kKnownMac + "& HTTP/1.0\"", false},
        {"type 2 without encrypt", get("/register/deviceupdate?id=SN1"), 400,
         "bad request: encrypt is missing or not a ciphertext",
         "request=\"GET /register/deviceupdate?id=SN1 HTTP/1.0\"", false},
        {"type 2 update without status", get("/register/deviceupdate?encrypt=" + encipher("id=SN1&port=80")), 400,
         "bad request: status is neither online nor offline",
         plain_logged("/register/deviceupdate", 2, "id=SN1&port=80"), false},
        {"type 2 update without id", get("/register/deviceupdate?encrypt=" + encipher("id=&status=online")), 400,
         "bad request: no id", plain_logged("/register/deviceupdate", 2, "id=&status=online"), false},
        {"not GET", "POST /update.php HTTP/1.0\r\n\r\n", 400, "bad request: malformed request line",
         "request=\"POST /update.php HTTP/1.0\"", false},
        {"not HTTP/1.x", "GET /update.php?mymac=a& HTTP/2.0\r\n\r\n", 400, "bad request: malformed request line",
         "request=\"GET /update.php?mymac=a& HTTP/2.0\"", false},
        {"head not finished", "GET /update.php?mymac=a& HTTP/1.0\r\nHost:x\r\n", 400,
         "bad request: incomplete request", "request=\"GET /update.php?mymac=a& HTTP/1.0\"", false},
        {"unknown path", get("/index.html"), 404, "not found", "request=\"GET /index.html HTTP/1.0\"", false},
        {"control bytes are escaped in the log", "GET /a\tb HTTP/1.0\r\n\r\n", 404, "not found",
         "request=\"GET /a\\x09b HTTP/1.0\"", false},
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

    void expect_answers(const std::vector<HttpCase>& cases) {
        for (const HttpCase& c : cases) {
            SCOPED_TRACE(c.name);
            const ozu_ref::HttpAnswer answer = ozu_ref::answer_http(c.head, kPeer, registry_);
            EXPECT_EQ(answer.status, c.status);
            EXPECT_EQ(answer.body, c.body);
            EXPECT_EQ(answer.request, c.logged_request);
            EXPECT_EQ(answer.device_request, c.device_request);
        }
    }

    ozu_ref::Registry registry_{"ddns.test"};
};

TEST_F(HttpAnswerTest, AnswersEveryDeviceRequestForm) { expect_answers(device_requests()); }

TEST_F(HttpAnswerTest, RefusesMalformedRequests) { expect_answers(refused_requests()); }

TEST_F(HttpAnswerTest, UpdatesRecordTheReportedStatus) {
    ozu_ref::answer_http(get("/update.php?mymac=" + kKnownMac + "&myip=1.2.3.4&offline=yes"), kPeer, registry_);
    EXPECT_EQ(registry_.status(kKnownMac), "offline");
    ozu_ref::answer_http(get("/register/deviceupdate?encrypt=" + encipher("id=SN7&status=offline")), kPeer,
                         registry_);
    EXPECT_EQ(registry_.status("SN7"), "offline");
    ozu_ref::answer_http(get("/register/deviceupdate?encrypt=" + encipher("id=SN7&status=online")), kPeer, registry_);
    EXPECT_EQ(registry_.status("SN7"), "online");
}

TEST_F(HttpAnswerTest, ADeviceIsKnownOnceItHasReported) {
    const std::string lookup = get("/register/devicegetdomain?encrypt=" + encipher("id=SN8&mac=m&port=80&type=0x1"));
    EXPECT_EQ(ozu_ref::answer_http(lookup, kPeer, registry_).body, "FAIL unknown device");
    ozu_ref::answer_http(get("/register/deviceupdate?encrypt=" + encipher("id=SN8&status=online")), kPeer, registry_);
    EXPECT_EQ(ozu_ref::answer_http(lookup, kPeer, registry_).body, "ACK SUCCESS domain=SN8.ddns.test");
}

TEST_F(HttpAnswerTest, AMacLearnedOverTypeZeroIsFoundOverTypeOne) {
    const std::string mac = "0A:0B:0C:0D:0E:0F";
    ozu_ref::answer_http(get("/update.php?mymac=" + mac + "&myip=10.1.1.1&"), kPeer, registry_);
    const std::string lookup = get("/getipbymac.php?do=getsilent&value=" + encipher("mymac=" + mac + "&"));
    EXPECT_EQ(ozu_ref::answer_http(lookup, kPeer, registry_).body, "SUCC:0a0b0c0d0e0f.ddns.test");
}

TEST(HttpReplyHead, StatusLineAndHeaders) {
    EXPECT_EQ(ozu_ref::http_reply_head(200), "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n");
    EXPECT_EQ(ozu_ref::http_reply_head(400), "HTTP/1.0 400 Bad Request\r\nContent-Type: text/plain\r\n\r\n");
    EXPECT_EQ(ozu_ref::http_reply_head(404), "HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\n\r\n");
}

}  // namespace
