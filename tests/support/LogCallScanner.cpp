#include "support/LogCallScanner.h"

#include <fstream>
#include <map>
#include <optional>
#include <sstream>

namespace {

constexpr std::string_view kTagPrefix = "[%s]: ";
constexpr std::string_view kLoggerNamespace = "xlog";
// Raw string literals start with one of these prefixes right before the quote.
constexpr std::string_view kRawPrefixes[] = {"R", "u8R", "uR", "UR", "LR"};
// Words that may stand right before a call of an unqualified logi (after a using-declaration).
constexpr std::string_view kWordsBeforeCall[] = {"return", "else", "do"};

const std::map<std::string_view, ktr::LogLevel> kLogFunctions = {
    {"logi", ktr::LogLevel::Info}, {"logw", ktr::LogLevel::Warning}, {"loge", ktr::LogLevel::Error}};

struct Token {
    enum class Kind { Identifier, String, Number, Punctuation };
    Kind kind;
    std::string text;  // a string literal's contents, escapes decoded
    int line;
};

bool isIdentifierStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool isIdentifierChar(char c) {
    return isIdentifierStart(c) || (c >= '0' && c <= '9');
}

char decodeEscape(char c) {
    switch (c) {
        case 'n':
            return '\n';
        case 't':
            return '\t';
        case 'r':
            return '\r';
        case '0':
            return '\0';
        default:
            return c;  // \" \' \\ \?
    }
}

// Walks a source text and cuts it into tokens; comments, preprocessor lines and character literals are
// passed over.
class Tokenizer {
public:
    explicit Tokenizer(std::string_view source) : m_source(source) {}

    std::vector<Token> tokens() {
        std::vector<Token> tokens;
        while (skipSpaceAndComments()) {
            tokens.push_back(next());
        }
        return tokens;
    }

private:
    char at(size_t offset) const { return m_pos + offset < m_source.size() ? m_source[m_pos + offset] : '\0'; }

    void advance() {
        if (at(0) == '\n') {
            ++m_line;
            m_lineStart = true;
        }
        ++m_pos;
    }

    void skipPast(std::string_view end) {
        while (m_pos < m_source.size() && m_source.substr(m_pos, end.size()) != end) {
            advance();
        }
        for (size_t i = 0; i < end.size() && m_pos < m_source.size(); ++i) {
            advance();
        }
    }

    void skipPreprocessorLine() {
        while (m_pos < m_source.size() && at(0) != '\n') {
            if (at(0) == '\\') {
                advance();
            }
            advance();
        }
    }

    // False at the end of the text.
    bool skipSpaceAndComments() {
        while (m_pos < m_source.size()) {
            const char c = at(0);
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                advance();
            } else if (c == '/' && at(1) == '/') {
                skipPast("\n");
            } else if (c == '/' && at(1) == '*') {
                skipPast("*/");
            } else if (c == '#' && m_lineStart) {
                skipPreprocessorLine();
            } else if (c == '\'') {
                skipCharacterLiteral();
            } else {
                m_lineStart = false;
                return true;
            }
        }
        return false;
    }

    void skipCharacterLiteral() {
        advance();
        while (m_pos < m_source.size() && at(0) != '\'') {
            if (at(0) == '\\') {
                advance();
            }
            advance();
        }
        advance();
    }

    Token next() {
        const int line = m_line;
        const char c = at(0);
        if (c == '"') {
            return {Token::Kind::String, readString(), line};
        }
        if (isIdentifierStart(c)) {
            std::string word = readWhile(isIdentifierChar);
            if (at(0) == '"' && isRawPrefix(word)) {
                return {Token::Kind::String, readRawString(), line};
            }
            if (at(0) == '"') {  // an encoding prefix (u8, L, u, U)
                return {Token::Kind::String, readString(), line};
            }
            return {Token::Kind::Identifier, word, line};
        }
        if (c >= '0' && c <= '9') {
            return {Token::Kind::Number, readWhile([](char d) { return isIdentifierChar(d) || d == '.' || d == '\''; }),
                    line};
        }
        return {Token::Kind::Punctuation, readPunctuation(), line};
    }

    template <typename Predicate>
    std::string readWhile(Predicate predicate) {
        const size_t start = m_pos;
        while (m_pos < m_source.size() && predicate(at(0))) {
            advance();
        }
        return std::string(m_source.substr(start, m_pos - start));
    }

    static bool isRawPrefix(std::string_view word) {
        for (std::string_view prefix : kRawPrefixes) {
            if (word == prefix) {
                return true;
            }
        }
        return false;
    }

    std::string readString() {
        std::string text;
        advance();
        while (m_pos < m_source.size() && at(0) != '"' && at(0) != '\n') {
            if (at(0) == '\\') {
                advance();
                text += decodeEscape(at(0));
            } else {
                text += at(0);
            }
            advance();
        }
        advance();
        return text;
    }

    std::string readRawString() {
        advance();
        const std::string delimiter = readWhile([](char c) { return c != '('; });
        advance();
        const std::string end = ")" + delimiter + "\"";
        const size_t start = m_pos;
        const size_t stop = m_source.find(end, start);
        skipPast(end);
        return std::string(m_source.substr(start, (stop == std::string_view::npos ? m_source.size() : stop) - start));
    }

    std::string readPunctuation() {
        for (std::string_view pair : {"::", "->"}) {
            if (m_source.substr(m_pos, 2) == pair) {
                advance();
                advance();
                return std::string(pair);
            }
        }
        std::string text(1, at(0));
        advance();
        return text;
    }

    std::string_view m_source;
    size_t m_pos = 0;
    int m_line = 1;
    bool m_lineStart = true;
};

bool is(const std::vector<Token>& tokens, size_t i, std::string_view text) {
    return i < tokens.size() && tokens[i].kind != Token::Kind::String && tokens[i].text == text;
}

bool isString(const std::vector<Token>& tokens, size_t i) {
    return i < tokens.size() && tokens[i].kind == Token::Kind::String;
}

// Joins the adjacent string literals from i on into joined; returns the index after them.
size_t joinStrings(const std::vector<Token>& tokens, size_t i, std::string& joined) {
    joined.clear();
    for (; isString(tokens, i); ++i) {
        joined += tokens[i].text;
    }
    return i;
}

// Names given a string literal: "kTag = "...";", "kTag[] = "...";" and "kTag{"..."}".
std::map<std::string, std::string> stringConstants(const std::vector<Token>& tokens) {
    std::map<std::string, std::string> constants;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != Token::Kind::Identifier) {
            continue;
        }
        size_t value = i + 1;
        if (is(tokens, value, "[") && is(tokens, value + 1, "]")) {
            value += 2;
        }
        if (!is(tokens, value, "=") && !is(tokens, value, "{")) {
            continue;
        }
        std::string text;
        const size_t end = joinStrings(tokens, value + 1, text);
        if (end > value + 1 && (is(tokens, end, ";") || is(tokens, end, "}") || is(tokens, end, ","))) {
            constants[tokens[i].text] = text;
        }
    }
    return constants;
}

// The level of the log function called at i: xlog::logi( or, after a using-declaration, logi( alone.
std::optional<ktr::LogLevel> calledLevel(const std::vector<Token>& tokens, size_t i) {
    const auto function = kLogFunctions.find(tokens[i].text);
    if (tokens[i].kind != Token::Kind::Identifier || function == kLogFunctions.end() || !is(tokens, i + 1, "(")) {
        return std::nullopt;
    }
    if (i == 0) {
        return function->second;
    }
    const Token& before = tokens[i - 1];
    if (before.text == "::") {
        return i >= 2 && tokens[i - 2].text == kLoggerNamespace ? std::optional(function->second) : std::nullopt;
    }
    if (before.text == "." || before.text == "->") {
        return std::nullopt;
    }
    if (before.kind == Token::Kind::Identifier) {  // a declaration such as "int logi(", unless a keyword
        for (std::string_view word : kWordsBeforeCall) {
            if (before.text == word) {
                return function->second;
            }
        }
        return std::nullopt;
    }
    return function->second;
}

class CallReader {
public:
    CallReader(const std::vector<Token>& tokens, const std::string& file, std::vector<std::string>& problems)
        : m_tokens(tokens), m_file(file), m_problems(problems), m_constants(stringConstants(tokens)) {}

    // The call whose function name stands at i, whose level is level.
    std::optional<LogCall> read(size_t i, ktr::LogLevel level) {
        LogCall call{level, std::string(), std::string(), m_file + ":" + std::to_string(m_tokens[i].line)};
        size_t next = joinStrings(m_tokens, i + 2, call.format);
        if (next == i + 2) {
            return fail(call, "its format is not a string literal");
        }
        if (call.format.compare(0, kTagPrefix.size(), kTagPrefix) != 0) {
            return call;
        }
        if (!is(m_tokens, next, ",")) {
            return fail(call, "its format takes a tag but none follows");
        }
        ++next;
        if (isString(m_tokens, next)) {
            joinStrings(m_tokens, next, call.tag);
            return call;
        }
        const bool named = next < m_tokens.size() && m_tokens[next].kind == Token::Kind::Identifier &&
                           (is(m_tokens, next + 1, ",") || is(m_tokens, next + 1, ")"));
        const auto constant = named ? m_constants.find(m_tokens[next].text) : m_constants.end();
        if (constant == m_constants.end()) {
            return fail(call, "its tag is neither a string literal nor a string constant of the file");
        }
        call.tag = constant->second;
        return call;
    }

private:
    std::optional<LogCall> fail(const LogCall& call, const std::string& why) {
        m_problems.push_back(call.where + ": log call not understood: " + why);
        return std::nullopt;
    }

    const std::vector<Token>& m_tokens;
    const std::string& m_file;
    std::vector<std::string>& m_problems;
    std::map<std::string, std::string> m_constants;
};

}  // namespace

std::vector<LogCall> LogCallScanner::scanSource(std::string_view source, const std::string& file,
                                                std::vector<std::string>& problems) {
    const std::vector<Token> tokens = Tokenizer(source).tokens();
    CallReader reader(tokens, file, problems);
    std::vector<LogCall> calls;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (const std::optional<ktr::LogLevel> level = calledLevel(tokens, i)) {
            if (std::optional<LogCall> call = reader.read(i, *level)) {
                calls.push_back(*call);
            }
        }
    }
    return calls;
}

std::vector<LogCall> LogCallScanner::scanTree(const std::filesystem::path& directory,
                                              std::vector<std::string>& problems) {
    std::vector<LogCall> calls;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
        const std::filesystem::path& path = entry.path();
        if (!entry.is_regular_file() || (path.extension() != ".cpp" && path.extension() != ".h")) {
            continue;
        }
        std::ifstream file(path);
        std::stringstream text;
        text << file.rdbuf();
        const std::vector<LogCall> found = scanSource(text.str(), path.string(), problems);
        calls.insert(calls.end(), found.begin(), found.end());
    }
    return calls;
}
