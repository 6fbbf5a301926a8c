// A fresh directory under the system's temporary directory, removed with everything in it at the end.
#ifndef OZU_TEST_TEMP_DIRECTORY_H
#define OZU_TEST_TEMP_DIRECTORY_H

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace ozu::test {

class TempDirectory {
public:
    TempDirectory()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ozu-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~TempDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    // The path of name inside the directory.
    std::string path(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace ozu::test

#endif
