#include "DesTestSupport.h"
#include "KnownAnswerVectors.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using des_test::bytesOf;
using des_test::hexOfBlock;

// Each standard ciphertext, with its halves exchanged under IP, is what this cipher must give.
TEST(KnownAnswer, EncryptionAndDecryptionInBothFormsAndSlots)
{
    for (const auto& table : des_test::kKnownAnswerTables) {
        for (int i = 0; i < table.count; ++i) {
            const des_test::KnownAnswer& row = table.rows[i];
            SCOPED_TRACE(std::string(table.name) + " key " + hexOfBlock(row.key) + " plaintext " +
                         hexOfBlock(row.plaintext));
            const std::uint64_t ciphertext = des_test::exchangeHalvesUnderIp(row.ciphertext);
            for (const bool slot : {false, true}) {
                DES encryptor;
                encryptor.InitializeKey(bytesOf(row.key), slot);
                encryptor.EncryptData(bytesOf(row.plaintext), slot, true);
                EXPECT_EQ(des_test::cipherHex(encryptor), hexOfBlock(ciphertext));
                encryptor.EncryptData(bytesOf(row.plaintext), slot, false);
                EXPECT_EQ(des_test::cipherRaw(encryptor), bytesOf(ciphertext));

                DES decryptor;
                decryptor.InitializeKey(bytesOf(row.key), slot);
                decryptor.DecryptData(hexOfBlock(ciphertext), slot, true);
                EXPECT_EQ(des_test::plainRaw(decryptor), bytesOf(row.plaintext));
                decryptor.DecryptData(bytesOf(ciphertext), slot, false);
                EXPECT_EQ(des_test::plainRaw(decryptor), bytesOf(row.plaintext));
            }
        }
    }
}

}  // namespace
