// The status-line test reads " HTTP/1.%*c %3d" and passes on 200 only.
#include <gtest/gtest.h>

#include <string>

#include "ddns/transport.h"

namespace {

struct StatusCase {
    const char* name;
    const char* reply;
    bool passes;
};

class StatusLine : public testing::TestWithParam<StatusCase> {};

TEST_P(StatusLine, IsJudged)
{
    EXPECT_EQ(ozu::ddns::http_status_is_ok(GetParam().reply), GetParam().passes) << GetParam().reply;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusLine,
    testing::Values(StatusCase{"Http11Ok", "HTTP/1.1 200 OK\r\n\r\nSUCCESS", true},
                    StatusCase{"Http10AfterLeadingBlanks", " \t\r\n HTTP/1.0 200\r\n", true},
                    StatusCase{"TwoBlanksBeforeCode", "HTTP/1.1  200 OK", true},
                    StatusCase{"TabBeforeCode", "HTTP/1.1\t200 OK", true},
                    StatusCase{"NoBlankBeforeCode", "HTTP/1.1200 OK", true},
                    StatusCase{"AnyMinorVersionCharacter", "HTTP/1.x 200 OK", true},
                    StatusCase{"FourDigitsStartingWith200", "HTTP/1.1 2001 Odd", true},
                    StatusCase{"CodeRunIntoText", "HTTP/1.1 200OK", true},
                    StatusCase{"NoContent", "HTTP/1.1 204 No Content", false},
                    StatusCase{"NotFound", "HTTP/1.1 404 Not Found", false},
                    StatusCase{"Version2", "HTTP/2 200", false},
                    StatusCase{"TwoCharacterMinorVersion", "HTTP/1.10 200 OK", false},
                    StatusCase{"LeadingZero", "HTTP/1.1 0200 OK", false},
                    StatusCase{"SignCountsAsADigit", "HTTP/1.1 +200 OK", false},
                    StatusCase{"Negative", "HTTP/1.1 -200 OK", false},
                    StatusCase{"LowerCase", "http/1.1 200 OK", false},
                    StatusCase{"TextBeforeStatusLine", "xHTTP/1.1 200 OK", false},
                    StatusCase{"NoCode", "HTTP/1.1 OK", false},
                    StatusCase{"EndsAfterVersion", "HTTP/1.", false},
                    StatusCase{"Empty", "", false}),
    [](const testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

}  // namespace
