#include "DesTestSupport.h"
#include "KnownAnswerVectors.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using des_test::bytesOf;
using des_test::cipherHex;
using des_test::cipherRaw;
using des_test::exchangeHalvesUnderIp;
using des_test::hexOfBlock;
using des_test::kKnownAnswerTables;
using des_test::KnownAnswer;
using des_test::plainRaw;

std::string describe(const char* table, const KnownAnswer& row)
{
    return std::string(table) + " key " + hexOfBlock(row.key) + " plaintext " + hexOfBlock(row.plaintext);
}

// Each standard ciphertext, with its halves exchanged under IP, is what this cipher must give.
TEST(KnownAnswer, EncryptionInBothFormsAndSlots)
{
    for (const auto& table : kKnownAnswerTables) {
        for (int i = 0; i < table.count; ++i) {
            const KnownAnswer& row = table.rows[i];
            SCOPED_TRACE(describe(table.name, row));
            const std::uint64_t expected = exchangeHalvesUnderIp(row.ciphertext);
            for (const bool slot : {false, true}) {
                DES des;
                des.InitializeKey(bytesOf(row.key), slot);
                des.EncryptData(bytesOf(row.plaintext), slot, true);
                EXPECT_EQ(cipherHex(des), hexOfBlock(expected));
                des.EncryptData(bytesOf(row.plaintext), slot, false);
                EXPECT_EQ(cipherRaw(des), bytesOf(expected));
            }
        }
    }
}

TEST(KnownAnswer, DecryptionInBothFormsAndSlots)
{
    for (const auto& table : kKnownAnswerTables) {
        for (int i = 0; i < table.count; ++i) {
            const KnownAnswer& row = table.rows[i];
            SCOPED_TRACE(describe(table.name, row));
            const std::uint64_t ciphertext = exchangeHalvesUnderIp(row.ciphertext);
            for (const bool slot : {false, true}) {
                DES des;
                des.InitializeKey(bytesOf(row.key), slot);
                des.DecryptData(hexOfBlock(ciphertext), slot, true);
                EXPECT_EQ(plainRaw(des), bytesOf(row.plaintext));
                des.DecryptData(bytesOf(ciphertext), slot, false);
                EXPECT_EQ(plainRaw(des), bytesOf(row.plaintext));
            }
        }
    }
}

}  // namespace
