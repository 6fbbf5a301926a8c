// The built-in key is assembled at run time; its text must not stand in the shipped library.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string library_bytes()
{
    std::ifstream file(OZU_TEST_LIBRARY_PATH, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(BuiltInKey, TextIsNotInTheLibrary)
{
    const std::string bytes = library_bytes();
    ASSERT_GT(bytes.size(), 0U) << OZU_TEST_LIBRARY_PATH;
    const std::string key = OZU_TEST_DDNS_KEY;
    EXPECT_EQ(bytes.find(key), std::string::npos);
    EXPECT_EQ(bytes.find(key.substr(0, 8)), std::string::npos) << "the part the key schedule reads";
}

}  // namespace
