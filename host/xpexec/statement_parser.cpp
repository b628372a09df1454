// A hand-written recursive-descent parser over the raw bytes: the grammar
// is small, and a hand parser gives exact positions for every error.
#include "host/xpexec/statement_parser.h"

#include <cstddef>
#include <limits>
#include <map>

namespace xpexec {
namespace {

// SQL Server's limit on the length of an identifier (sysname).
constexpr size_t kMaxIdentifierCharacters = 128;
// server.database.schema.object: the most parts a name may have.
constexpr int kMaxNameParts = 4;
// The longest varchar(n) and nvarchar(n), in characters.
constexpr uint32_t kMaxVarcharLength = 8000;
constexpr uint32_t kMaxNvarcharLength = 4000;

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// Bytes of non-ASCII characters count as letters, as Unicode letters do
// in T-SQL identifiers.
bool IsIdentifierStart(char c) {
  return IsAsciiLetter(c) || c == '_' || c == '#' || static_cast<unsigned char>(c) >= 0x80;
}
bool IsIdentifierPart(char c) {
  return IsIdentifierStart(c) || IsDigit(c) || c == '@' || c == '$';
}
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

size_t CountCharacters(std::string_view text) {
  size_t n = 0;
  for (char c : text)
    if (!IsContinuationByte(c)) ++n;
  return n;
}

bool SameWord(std::string_view word, std::string_view upper) {
  if (word.size() != upper.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

// Thrown inside the parser only; ParseStatements turns it into a result.
struct Failure {
  size_t offset;
  const char *message;
};

class Parser {
 public:
  explicit Parser(std::string_view input) : in_(input) {}

  std::vector<Statement> ParseAll() {
    std::vector<Statement> statements;
    for (;;) {
      SkipTrivia();
      if (AtEnd()) break;
      if (Peek() == ';') {
        ++pos_;
        continue;
      }
      if (SkipGoLine()) continue;
      if (AtWord("DECLARE")) {
        ParseDeclare();
        continue;
      }
      statements.push_back(ParseStatement());
    }
    return statements;
  }

  ParseError ErrorAt(size_t offset, const char *message) const {
    ParseError e;
    size_t line_start = 0;
    e.line = 1;
    for (size_t i = 0; i < offset && i < in_.size(); ++i) {
      if (in_[i] == '\n') {
        ++e.line;
        line_start = i + 1;
      }
    }
    e.column = static_cast<int>(CountCharacters(in_.substr(line_start, offset - line_start))) + 1;
    e.message = message;
    return e;
  }

 private:
  bool AtEnd() const { return pos_ >= in_.size(); }
  char Peek(size_t ahead = 0) const {
    return pos_ + ahead < in_.size() ? in_[pos_ + ahead] : '\0';
  }
  [[noreturn]] void Fail(size_t offset, const char *message) const { throw Failure{offset, message}; }

  // Whitespace and comments. Block comments nest, as they do in T-SQL.
  void SkipTrivia() {
    for (;;) {
      if (AtEnd()) return;
      char c = Peek();
      if (IsSpace(c)) {
        ++pos_;
      } else if (c == '-' && Peek(1) == '-') {
        while (!AtEnd() && Peek() != '\n') ++pos_;
      } else if (c == '/' && Peek(1) == '*') {
        size_t start = pos_;
        int depth = 0;
        do {
          if (AtEnd()) Fail(start, "unterminated comment");
          if (Peek() == '/' && Peek(1) == '*') {
            ++depth;
            pos_ += 2;
          } else if (Peek() == '*' && Peek(1) == '/') {
            --depth;
            pos_ += 2;
          } else {
            ++pos_;
          }
        } while (depth > 0);
      } else {
        return;
      }
    }
  }

  // The word at the cursor (letters, digits, ...), without consuming it.
  std::string_view PeekWord() const {
    size_t end = pos_;
    if (end < in_.size() && IsIdentifierStart(in_[end]))
      while (end < in_.size() && IsIdentifierPart(in_[end])) ++end;
    return in_.substr(pos_, end - pos_);
  }

  bool AtWord(std::string_view upper) const { return SameWord(PeekWord(), upper); }

  // Only blanks stand between the start of the line and the cursor.
  bool AtLineStart() const {
    for (size_t i = pos_; i > 0; --i) {
      char c = in_[i - 1];
      if (c == '\n') return true;
      if (c != ' ' && c != '\t' && c != '\r') return false;
    }
    return true;
  }

  // A GO line separates batches; here every statement runs on its own, so
  // GO changes nothing and is skipped. sqlcmd's repeat count is not taken.
  bool SkipGoLine() {
    if (!AtWord("GO") || !AtLineStart()) return false;
    pos_ += 2;
    variables_.clear();  // the batch ends
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\r')) ++pos_;
    if (Peek() == '-' && Peek(1) == '-') return true;  // SkipTrivia takes it
    if (!AtEnd() && Peek() != '\n') Fail(pos_, "expected end of line after GO");
    return true;
  }

  // After a complete statement: ';', the end, GO or the next statement.
  bool AtStatementEnd() const {
    return AtEnd() || Peek() == ';' || AtWord("GO") || AtWord("EXEC") || AtWord("EXECUTE") ||
           AtWord("DECLARE");
  }

  // DECLARE @a type [, @b type]...; the types are those an OUTPUT variable
  // takes.
  void ParseDeclare() {
    pos_ += PeekWord().size();
    for (;;) {
      SkipTrivia();
      size_t start = pos_;
      if (Peek() != '@') Fail(pos_, "expected a variable");
      std::string name = ParseVariable();
      if (variables_.count(Folded(name)) != 0)
        Fail(start, "variable already declared in this batch");
      SkipTrivia();
      if (AtWord("AS")) {
        pos_ += 2;
        SkipTrivia();
      }
      variables_[Folded(name)] = ParseType();
      SkipTrivia();
      if (Peek() != ',') break;
      ++pos_;
    }
    if (!AtStatementEnd()) Fail(pos_, "expected ',' or end of statement");
  }

  VariableType ParseType() {
    VariableType type;
    size_t start = pos_;
    if (AtWord("INT")) {
      pos_ += 3;
      type.kind = ValueKind::kInt;
      type.length = 0;
      return type;
    }
    if (AtWord("NVARCHAR")) {
      type.kind = ValueKind::kNvarchar;
    } else if (AtWord("VARCHAR")) {
      type.kind = ValueKind::kVarchar;
    } else {
      Fail(start, "expected a type (nvarchar(n), varchar(n), (max) or int)");
    }
    pos_ += PeekWord().size();
    SkipTrivia();
    // Without a length the type holds one character, as in T-SQL.
    type.length = 1;
    if (Peek() != '(') return type;
    ++pos_;
    SkipTrivia();
    const uint32_t limit =
        type.kind == ValueKind::kNvarchar ? kMaxNvarcharLength : kMaxVarcharLength;
    size_t at = pos_;
    if (AtWord("MAX")) {
      pos_ += 3;
      type.length = VariableType::kMaxLength;
    } else {
      uint32_t length = 0;
      // Digits beyond the limit are not read: nothing overflows.
      while (IsDigit(Peek()) && length <= limit)
        length = length * 10 + static_cast<uint32_t>(in_[pos_++] - '0');
      if (length < 1 || length > limit)
        Fail(at, limit == kMaxNvarcharLength ? "expected a length from 1 to 4000 or MAX"
                                              : "expected a length from 1 to 8000 or MAX");
      type.length = length;
    }
    SkipTrivia();
    if (Peek() != ')') Fail(pos_, "expected ')'");
    ++pos_;
    return type;
  }

  // Variable names compare without case, as under the server's usual
  // collation.
  static std::string Folded(std::string_view name) {
    std::string folded(name);
    for (char &c : folded)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
  }

  Statement ParseStatement() {
    Statement s;
    s.line = ErrorAt(pos_, "").line;
    if (!AtWord("EXEC") && !AtWord("EXECUTE")) Fail(pos_, "expected EXEC or EXECUTE");
    pos_ += PeekWord().size();
    SkipTrivia();
    if (Peek() == '@') {
      s.return_variable = ParseVariable();
      SkipTrivia();
      if (Peek() != '=') Fail(pos_, "expected '='");
      ++pos_;
      SkipTrivia();
    }
    ParseProcedureName(&s);
    SkipTrivia();
    if (AtStatementEnd()) return s;
    bool named_seen = false;
    for (;;) {
      size_t start = pos_;
      Argument a = ParseArgument();
      // SQL Server refuses this too: once one argument is named, the
      // positions of the ones after it mean nothing.
      if (a.name.empty() && named_seen) Fail(start, "a bare value cannot follow a named argument");
      named_seen = named_seen || !a.name.empty();
      s.arguments.push_back(std::move(a));
      SkipTrivia();
      if (Peek() == ',') {
        ++pos_;
        SkipTrivia();
        continue;
      }
      if (AtStatementEnd()) return s;
      Fail(pos_, "expected ',' or end of statement");
    }
  }

  std::string ParseVariable() {
    size_t start = pos_;
    ++pos_;  // '@'
    while (!AtEnd() && IsIdentifierPart(Peek())) ++pos_;
    if (pos_ - start == 1) Fail(start, "expected a name after '@'");
    std::string_view name = in_.substr(start, pos_ - start);
    if (CountCharacters(name) > kMaxIdentifierCharacters) Fail(start, "name longer than 128 characters");
    return std::string(name);
  }

  // One part of a multi-part name: plain, [bracketed] or "quoted".
  std::string ParseNamePart() {
    size_t start = pos_;
    std::string part;
    char open = Peek();
    if (open == '[' || open == '"') {
      char close = open == '[' ? ']' : '"';
      ++pos_;
      for (;;) {
        if (AtEnd()) Fail(start, "unterminated quoted name");
        char c = in_[pos_++];
        if (c == close) {
          if (Peek() != close) break;
          ++pos_;  // a doubled closing character stands for itself
        }
        part.push_back(c);
      }
      if (part.empty()) Fail(start, "expected a name");
    } else if (IsIdentifierStart(open)) {
      part = std::string(PeekWord());
      pos_ += part.size();
    } else {
      Fail(start, "expected a procedure name");
    }
    if (CountCharacters(part) > kMaxIdentifierCharacters) Fail(start, "name longer than 128 characters");
    return part;
  }

  void ParseProcedureName(Statement *s) {
    size_t start = pos_;
    std::string last = ParseNamePart();
    int parts = 1;
    while (Peek() == '.') {
      while (Peek() == '.') {  // an empty part takes the default (master..x)
        ++pos_;
        if (++parts > kMaxNameParts) Fail(start, "too many parts in the procedure name");
      }
      last = ParseNamePart();
    }
    s->qualified_name = std::string(in_.substr(start, pos_ - start));
    s->procedure = last;
  }

  Argument ParseArgument() {
    Argument a;
    if (Peek() == '@') {
      a.name = ParseVariable();
      SkipTrivia();
      if (Peek() != '=') Fail(pos_, "expected '='");
      ++pos_;
      SkipTrivia();
    }
    ParseValue(&a);
    return a;
  }

  void ParseValue(Argument *a) {
    char c = Peek();
    if (c == '@') {
      a->kind = ValueKind::kNull;
      a->variable = ParseVariable();
      SkipTrivia();
      if (!AtWord("OUTPUT") && !AtWord("OUT")) Fail(pos_, "expected OUTPUT after a variable");
      pos_ += PeekWord().size();
      a->output = true;
      auto declared = variables_.find(Folded(a->variable));
      if (declared != variables_.end()) a->type = declared->second;
    } else if (c == '\'') {
      a->kind = ValueKind::kVarchar;
      a->text = ParseString();
    } else if ((c == 'N' || c == 'n') && Peek(1) == '\'') {
      ++pos_;
      a->kind = ValueKind::kNvarchar;
      a->text = ParseString();
    } else if (IsDigit(c) || ((c == '-' || c == '+') && IsDigit(Peek(1)))) {
      a->kind = ValueKind::kInt;
      a->number = ParseInteger();
    } else if (AtWord("NULL")) {
      pos_ += 4;
      a->kind = ValueKind::kNull;
    } else if (AtWord("CAST")) {
      ParseCast(a);
    } else {
      Fail(pos_, "expected a value ('text', N'text', an integer or NULL)");
    }
  }

  void Expect(char c, const char *message) {
    SkipTrivia();
    if (Peek() != c) Fail(pos_, message);
    ++pos_;
    SkipTrivia();
  }

  // CAST(<string literal> AS text | ntext | varchar(max) | nvarchar(max)):
  // the text as a value of that type, Unicode for ntext and nvarchar.
  void ParseCast(Argument *a) {
    pos_ += 4;
    Expect('(', "expected '(' after CAST");
    const size_t literal = pos_;
    ParseValue(a);
    if (a->kind != ValueKind::kVarchar && a->kind != ValueKind::kNvarchar)
      Fail(literal, "expected a string to cast");
    SkipTrivia();
    if (!AtWord("AS")) Fail(pos_, "expected AS");
    pos_ += 2;
    SkipTrivia();
    const size_t type = pos_;
    const std::string_view word = PeekWord();
    pos_ += word.size();
    if (SameWord(word, "TEXT") || SameWord(word, "NTEXT")) {
      a->long_text = LongText::kText;
    } else if (SameWord(word, "VARCHAR") || SameWord(word, "NVARCHAR")) {
      Expect('(', "expected (max)");
      if (!AtWord("MAX")) Fail(pos_, "expected (max)");
      pos_ += 3;
      Expect(')', "expected (max)");
      a->long_text = LongText::kMax;
    } else {
      Fail(type, "expected text, ntext, varchar(max) or nvarchar(max)");
    }
    a->kind = word.front() == 'n' || word.front() == 'N' ? ValueKind::kNvarchar : ValueKind::kVarchar;
    Expect(')', "expected ')' after the type");
  }

  std::string ParseString() {
    size_t start = pos_;
    ++pos_;  // the opening quote
    std::string text;
    for (;;) {
      if (AtEnd()) Fail(start, "unterminated string");
      char c = in_[pos_++];
      if (c == '\'') {
        if (Peek() != '\'') return text;
        ++pos_;  // '' stands for one quote
      }
      text.push_back(c);
    }
  }

  int32_t ParseInteger() {
    size_t start = pos_;
    bool negative = Peek() == '-';
    if (Peek() == '-' || Peek() == '+') ++pos_;
    // Accumulated in 64 bits up to the int minimum's magnitude, which
    // only a negative value may reach.
    int64_t value = 0;
    constexpr int64_t kLimit = -static_cast<int64_t>(std::numeric_limits<int32_t>::min());
    while (IsDigit(Peek())) {
      value = value * 10 + (Peek() - '0');
      if (value > kLimit) Fail(start, "integer out of range for int");
      ++pos_;
    }
    if (Peek() == '.' || IsIdentifierPart(Peek())) Fail(start, "expected an integer");
    if (negative) return static_cast<int32_t>(-value);
    if (value > std::numeric_limits<int32_t>::max()) Fail(start, "integer out of range for int");
    return static_cast<int32_t>(value);
  }

  std::string_view in_;
  size_t pos_ = 0;
  // The variables the current batch declared, by folded name.
  std::map<std::string, VariableType> variables_;
};

}  // namespace

ParseResult ParseStatements(std::string_view input) {
  Parser parser(input);
  ParseResult result;
  try {
    result.statements = parser.ParseAll();
    result.ok = true;
  } catch (const Failure &f) {
    result.statements.clear();
    result.error = parser.ErrorAt(f.offset, f.message);
  }
  return result;
}

std::string DescribeParseError(const ParseError &error) {
  return "line " + std::to_string(error.line) + ", column " + std::to_string(error.column) +
         ": " + error.message;
}

}  // namespace xpexec
