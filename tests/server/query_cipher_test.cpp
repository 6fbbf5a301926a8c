#include "query_cipher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <string>

#include "des/DES.h"
#include "server_test_support.h"

namespace {

using server_test::encipher;

TEST(QueryCipher, RebuildsTheConfiguredKey) { EXPECT_EQ(ozu_ref::built_in_key(), server_test::configured_key()); }

TEST(QueryCipher, DeciphersWhatTheDeviceEnciphers) {
    static const std::array<const char*, 7> kTexts = {{
        "",
        "a",
        "mymac=00:11:22:33:44:55&",
        "mymac=00:11:22:33:44:55&myip=192.168.1.64&myhttp=80&mytype=7",
        "id=SN1&mac=00:11:22:33:44:55&port=80&type=0x7&status=offline",
        "exactly8",
        "0x1234",
    }};
    for (const std::string text : kTexts) {
        std::string hex = encipher(text);
        EXPECT_EQ(ozu_ref::decipher_text(hex), text);
        std::transform(hex.begin(), hex.end(), hex.begin(), [](unsigned char c) { return std::toupper(c); });
        EXPECT_EQ(ozu_ref::decipher_text(hex), text) << "upper-case digits";
    }
}

TEST(QueryCipher, MatchesSingleDesUnderTheFirstSlot) {
    // With one key in both slots the device's triple pass equals one pass with that key.
    auto des = std::make_unique<DES>();
    des->InitializeKey(server_test::configured_key(), false);
    des->EncryptAnyLength("id=SN9&mac=aa", false);
    EXPECT_EQ(ozu_ref::decipher_text(des->GetCiphertextAnyLength()), "id=SN9&mac=aa");
}

TEST(QueryCipher, RefusesTextsThatAreNotCiphertexts) {
    const std::string block = encipher("12345678");
    const std::array<std::string, 6> kBad = {{
        "",
        block.substr(0, 15),
        block + "0",
        "zz" + block.substr(2),
        block.substr(0, 8) + " " + block.substr(9),
        std::string(512 * 16, '0'),  // one block more than the deciphering buffer holds
    }};
    for (const std::string& text : kBad) {
        EXPECT_EQ(ozu_ref::decipher_text(text), std::nullopt) << text.substr(0, 40);
    }
}

}  // namespace
