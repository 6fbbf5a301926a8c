// The oracle's part for a target without OpenSSL: the build machine's oracle program (OZU_TEST_DES_ORACLE)
// answers, started once; the emulator that runs these tests runs it natively.
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "support/des_oracle.h"

namespace ozu::test {
namespace {

struct OracleProgram {
    FILE* questions;
    FILE* answers;
};

OracleProgram start_oracle()
{
    int questions[2];
    int answers[2];
    if (pipe(questions) != 0 || pipe(answers) != 0) {
        std::abort();
    }
    if (fork() == 0) {
        dup2(questions[0], STDIN_FILENO);
        dup2(answers[1], STDOUT_FILENO);
        // Only its standard input open for writing here: it reads the end of it when the tests end.
        for (const int end : {questions[0], questions[1], answers[0], answers[1]}) {
            close(end);
        }
        execl(OZU_TEST_DES_ORACLE, OZU_TEST_DES_ORACLE, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(questions[0]);
    close(answers[1]);
    return {fdopen(questions[1], "w"), fdopen(answers[0], "r")};
}

std::uint64_t ask(char direction, const std::string& key, std::uint64_t block)
{
    static OracleProgram oracle = start_oracle();
    std::fprintf(oracle.questions, "%c %" PRIx64 " %" PRIx64 "\n", direction, block_of(key), block);
    std::fflush(oracle.questions);
    std::uint64_t answer = 0;
    if (std::fscanf(oracle.answers, "%" SCNx64, &answer) != 1) {
        std::fprintf(stderr, "no answer from %s\n", OZU_TEST_DES_ORACLE);
        std::abort();
    }
    return answer;
}

}  // namespace

std::uint64_t oracle_encrypt(const std::string& key, std::uint64_t block)
{
    return ask('e', key, block);
}

std::uint64_t oracle_decrypt(const std::string& key, std::uint64_t block)
{
    return ask('d', key, block);
}

}  // namespace ozu::test
