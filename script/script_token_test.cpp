#include "script/script_token.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace fwk {
namespace {

struct Token {
  std::string text;
  int lookahead;
  bool operator==(const Token&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Token& t) {
  return out << "{\"" << t.text << "\", " << t.lookahead << "}";
}

std::vector<Token> tokens(const std::string& source, std::size_t size = kScriptTokenArea) {
  TextInput in = input_from_memory(source);
  std::vector<Token> result;
  std::string token;
  int lookahead = 0;
  while (lookahead != -1) {
    lookahead = script_read_token(in, token, size, lookahead);
    result.push_back({token, lookahead});
  }
  return result;
}

TEST(ScriptToken, OperatorsAndTheirLookaheads) {
  EXPECT_EQ(tokens("a<=b"), (std::vector<Token>{{"a", '<'}, {"<=", ' '}, {"b", -1}}));
  EXPECT_EQ(tokens("x==1"), (std::vector<Token>{{"x", '='}, {"==", '1'}, {"1", -1}}));
  EXPECT_EQ(tokens("x===1"), (std::vector<Token>{{"x", '='}, {"===", ' '}, {"1", -1}}));
  EXPECT_EQ(tokens("x += 2"), (std::vector<Token>{{"x", '+'}, {"+=", ' '}, {"2", -1}}));
  // A single "=": the next non-blank character is the lookahead.
  EXPECT_EQ(tokens("x =  \t5;"),
            (std::vector<Token>{{"x", '='}, {"=", '5'}, {"5", ';'}, {";", ' '}, {"", -1}}));
  EXPECT_EQ(tokens("f(a,b)"),
            (std::vector<Token>{
                {"f", '('}, {"(", ' '}, {"a", ','}, {",", ' '}, {"b", ')'}, {")", ' '}, {"", -1}}));
}

TEST(ScriptToken, ClosingTagsPercentAndScriptEnd) {
  EXPECT_EQ(tokens("</SCRIPT> x"), (std::vector<Token>{{"</SCRIPT>", ' '}, {"x", -1}}));
  EXPECT_EQ(tokens("a %> b"), (std::vector<Token>{{"a", '%'}, {"", -1}}));
  EXPECT_EQ(tokens("%x"), (std::vector<Token>{{"%", 'x'}, {"x", -1}}));
  // A word stops before a "%>" written right after it; other "%" belong to
  // the word.
  EXPECT_EQ(tokens("exit%>x"), (std::vector<Token>{{"exit", '%'}, {"", -1}}));
  EXPECT_EQ(tokens("a%%>"), (std::vector<Token>{{"a%", '%'}, {"", -1}}));
  EXPECT_EQ(tokens("a%b c"), (std::vector<Token>{{"a%b", 'c'}, {"c", -1}}));
  // Line ends are handed on as lookaheads and skipped by the next read.
  EXPECT_EQ(tokens("a\r\nb"), (std::vector<Token>{{"a", '\r'}, {"b", -1}}));
}

TEST(ScriptToken, StringLiteralsAndEscapes) {
  EXPECT_EQ(tokens("\"a\\\"b\\n\\tc\\\\\""), (std::vector<Token>{{"'a\"b\n\tc\\", ' '}, {"", -1}}));
  EXPECT_EQ(tokens("'it\"s'"), (std::vector<Token>{{"'it\"s", ' '}, {"", -1}}));
  // The end of the input inside a literal ends the script.
  EXPECT_EQ(tokens("\"open"), (std::vector<Token>{{"'open", -1}}));
}

TEST(ScriptToken, LongTokensAreCut) {
  EXPECT_EQ(tokens("abcdefgh;", 4), (std::vector<Token>{{"abc", ';'}, {";", ' '}, {"", -1}}));
  // A literal keeps replacing its last character once the area is full.
  EXPECT_EQ(tokens("\"abcdefgh\"", 4), (std::vector<Token>{{"'ah", ' '}, {"", -1}}));
}

}  // namespace
}  // namespace fwk
