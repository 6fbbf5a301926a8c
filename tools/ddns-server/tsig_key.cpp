#include "tsig_key.h"

#include <strings.h>

#include <array>
#include <cctype>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <vector>

namespace ozu::server {
namespace {

// A key file holds a few lines; anything much larger is not one.
constexpr std::size_t kMaxKeyFileSize = 64 * 1024;

struct AlgorithmName {
    const char* in_file;
    const char* on_wire;
};

// BIND's names for the TSIG algorithms and the names the signature carries.
constexpr std::array<AlgorithmName, 6> kAlgorithms = {{
    {"hmac-md5", "hmac-md5.sig-alg.reg.int."},
    {"hmac-sha1", "hmac-sha1."},
    {"hmac-sha224", "hmac-sha224."},
    {"hmac-sha256", "hmac-sha256."},
    {"hmac-sha384", "hmac-sha384."},
    {"hmac-sha512", "hmac-sha512."},
}};

enum class TokenKind { Word, Quoted, Symbol, End };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    int line = 0;
};

// Splits BIND's configuration syntax into words, quoted strings and the symbols { } ;, leaving out
// the three kinds of comment.
class Tokenizer {
public:
    explicit Tokenizer(const std::string& text) : text_(text) {}

    std::optional<std::vector<Token>> tokens(std::string* error)
    {
        std::vector<Token> tokens;
        while (skip_blanks_and_comments(error)) {
            if (at_ == text_.size()) {
                tokens.push_back(Token{TokenKind::End, "end of file", line_});
                return tokens;
            }
            std::optional<Token> token = next_token(error);
            if (!token) {
                return std::nullopt;
            }
            tokens.push_back(std::move(*token));
        }
        return std::nullopt;
    }

private:
    bool starts_with(const char* prefix) const
    {
        return text_.compare(at_, std::char_traits<char>::length(prefix), prefix) == 0;
    }

    void skip_to_line_end()
    {
        while (at_ < text_.size() && text_[at_] != '\n') {
            ++at_;
        }
    }

    bool skip_block_comment(std::string* error)
    {
        const std::size_t end = text_.find("*/", at_ + 2);
        if (end == std::string::npos) {
            *error = "line " + std::to_string(line_) + ": comment not closed";
            return false;
        }
        for (; at_ < end + 2; ++at_) {
            line_ += text_[at_] == '\n' ? 1 : 0;
        }
        return true;
    }

    // False when a comment is left open.
    bool skip_blanks_and_comments(std::string* error)
    {
        while (at_ < text_.size()) {
            if (text_[at_] == '\n') {
                ++line_;
                ++at_;
            } else if (std::isspace(static_cast<unsigned char>(text_[at_])) != 0) {
                ++at_;
            } else if (text_[at_] == '#' || starts_with("//")) {
                skip_to_line_end();
            } else if (starts_with("/*")) {
                if (!skip_block_comment(error)) {
                    return false;
                }
            } else {
                break;
            }
        }
        return true;
    }

    std::optional<Token> quoted(std::string* error)
    {
        const std::size_t end = text_.find_first_of("\"\n", at_ + 1);
        if (end == std::string::npos || text_[end] != '"') {
            *error = "line " + std::to_string(line_) + ": quoted text not closed";
            return std::nullopt;
        }
        Token token{TokenKind::Quoted, text_.substr(at_ + 1, end - at_ - 1), line_};
        at_ = end + 1;
        return token;
    }

    std::optional<Token> next_token(std::string* error)
    {
        const char c = text_[at_];
        if (c == '"') {
            return quoted(error);
        }
        if (c == '{' || c == '}' || c == ';') {
            ++at_;
            return Token{TokenKind::Symbol, std::string(1, c), line_};
        }
        const std::size_t end = text_.find_first_of(" \t\r\n{};\"#", at_);
        Token token{TokenKind::Word, text_.substr(at_, end - at_), line_};
        at_ = end == std::string::npos ? text_.size() : end;
        return token;
    }

    const std::string& text_;
    std::size_t at_ = 0;
    int line_ = 1;
};

std::optional<std::string> wire_algorithm(const std::string& name)
{
    for (const AlgorithmName& algorithm : kAlgorithms) {
        if (strcasecmp(name.c_str(), algorithm.in_file) == 0) {
            return std::string(algorithm.on_wire);
        }
    }
    return std::nullopt;
}

bool is_base64(const std::string& text)
{
    if (text.empty() || text.size() % 4 != 0) {
        return false;
    }
    const std::size_t padding = text.find('=');
    if (padding != std::string::npos &&
        (padding + 2 < text.size() || text.find_first_not_of('=', padding) != std::string::npos)) {
        return false;
    }
    for (std::size_t i = 0; i < text.size() && i < padding; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (std::isalnum(c) == 0 && c != '+' && c != '/') {
            return false;
        }
    }
    return true;
}

// Walks the tokens of a file that holds exactly one key statement:
//   key NAME { algorithm ALGORITHM; secret "BASE64"; };
class KeyParser {
public:
    explicit KeyParser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    std::optional<TsigKey> key(std::string* error)
    {
        std::optional<TsigKey> key = key_statement();
        if (key && peek().kind != TokenKind::End) {
            fail("only one key statement is expected, found '" + peek().text + "'");
            key.reset();
        }
        if (!key) {
            *error = problem_;
        }
        return key;
    }

private:
    const Token& peek() const { return tokens_[at_]; }

    const Token& take()
    {
        const Token& token = tokens_[at_];
        at_ += token.kind == TokenKind::End ? 0 : 1;
        return token;
    }

    bool fail(const std::string& problem)
    {
        if (problem_.empty()) {
            problem_ = "line " + std::to_string(peek().line) + ": " + problem;
        }
        return false;
    }

    bool expect_symbol(const char* symbol)
    {
        if (peek().kind != TokenKind::Symbol || peek().text != symbol) {
            return fail(std::string("expected '") + symbol + "', found '" + peek().text + "'");
        }
        take();
        return true;
    }

    // A word or a quoted text, followed by ';'.
    std::optional<std::string> value_then_semicolon(const char* what)
    {
        if (peek().kind != TokenKind::Word && peek().kind != TokenKind::Quoted) {
            fail(std::string("expected ") + what + ", found '" + peek().text + "'");
            return std::nullopt;
        }
        std::string value = take().text;
        return expect_symbol(";") ? std::optional<std::string>(std::move(value)) : std::nullopt;
    }

    bool algorithm_clause(TsigKey& key)
    {
        const std::optional<std::string> name = value_then_semicolon("an algorithm");
        if (!name) {
            return false;
        }
        const std::optional<std::string> algorithm = wire_algorithm(*name);
        if (!algorithm) {
            return fail("unknown algorithm '" + *name + "'");
        }
        key.algorithm = *algorithm;
        return true;
    }

    bool secret_clause(TsigKey& key)
    {
        const std::optional<std::string> secret = value_then_semicolon("a secret");
        if (!secret) {
            return false;
        }
        if (!is_base64(*secret)) {
            return fail("the secret is not Base64");
        }
        key.secret = *secret;
        return true;
    }

    bool clause(TsigKey& key)
    {
        const Token& name = take();
        if (name.kind == TokenKind::Word && name.text == "algorithm") {
            return algorithm_clause(key);
        }
        if (name.kind == TokenKind::Word && name.text == "secret") {
            return secret_clause(key);
        }
        return fail("unexpected '" + name.text + "' in the key statement");
    }

    std::optional<TsigKey> key_statement()
    {
        TsigKey key;
        if (peek().kind != TokenKind::Word || peek().text != "key") {
            fail("expected 'key', found '" + peek().text + "'");
            return std::nullopt;
        }
        take();
        if (peek().kind != TokenKind::Word && peek().kind != TokenKind::Quoted) {
            fail("expected the key's name, found '" + peek().text + "'");
            return std::nullopt;
        }
        key.name = take().text;
        if (!expect_symbol("{")) {
            return std::nullopt;
        }
        while (peek().kind != TokenKind::Symbol || peek().text != "}") {
            if (peek().kind == TokenKind::End || !clause(key)) {
                fail("the key statement is not closed");
                return std::nullopt;
            }
        }
        take();
        if (!expect_symbol(";")) {
            return std::nullopt;
        }
        if (key.name.empty() || key.algorithm.empty() || key.secret.empty()) {
            fail("the key needs a name, an algorithm and a secret");
            return std::nullopt;
        }
        return key;
    }

    std::vector<Token> tokens_;
    std::size_t at_ = 0;
    std::string problem_;
};

}  // namespace

std::optional<TsigKey> parse_tsig_key(const std::string& text, std::string* error)
{
    std::optional<std::vector<Token>> tokens = Tokenizer(text).tokens(error);
    if (!tokens) {
        return std::nullopt;
    }
    return KeyParser(std::move(*tokens)).key(error);
}

std::optional<TsigKey> read_tsig_key(const std::string& path, std::string* error)
{
    std::ifstream file(path, std::ios::binary);
    std::string text;
    if (file) {
        std::istreambuf_iterator<char> begin(file);
        for (const std::istreambuf_iterator<char> end; begin != end && text.size() <= kMaxKeyFileSize; ++begin) {
            text += *begin;
        }
    }
    if (!file || text.size() > kMaxKeyFileSize) {
        *error = path + ": " + (file ? "larger than a key file" : "cannot be read");
        return std::nullopt;
    }
    std::optional<TsigKey> key = parse_tsig_key(text, error);
    if (!key) {
        *error = path + ": " + *error;
    }
    return key;
}

}  // namespace ozu::server
