#include "testing/odbc/sql_rewrite.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>

namespace standin {
namespace {

enum class Kind { kSpace, kComment, kString, kQuoted, kWord, kNumber, kVariable, kPunct };

struct Token {
  Kind kind;
  std::string_view text;
};

struct Failure {
  std::string sqlstate;
  std::string message;
};

bool IsWordStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '#'; }
bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '#' || c == '$';
}

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

// Splits a text into tokens; literals and comments are single tokens, so
// nothing inside them is ever rewritten.
std::optional<Failure> Tokenize(std::string_view s, std::vector<Token>* out) {
  size_t i = 0;
  while (i < s.size()) {
    const size_t start = i;
    const char c = s[i];
    Kind kind;
    if (std::isspace(static_cast<unsigned char>(c))) {
      while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
      kind = Kind::kSpace;
    } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
      kind = Kind::kComment;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      const size_t end = s.find("*/", i + 2);
      if (end == std::string_view::npos) return Failure{"42000", "unclosed comment"};
      i = end + 2;
      kind = Kind::kComment;
    } else if (c == '\'' || ((c == 'N' || c == 'n') && i + 1 < s.size() && s[i + 1] == '\'')) {
      i += c == '\'' ? 1 : 2;
      for (;;) {
        if (i >= s.size()) return Failure{"42000", "unclosed quotation mark in the statement text"};
        if (s[i] == '\'') {
          if (i + 1 < s.size() && s[i + 1] == '\'') {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      kind = Kind::kString;
    } else if (c == '"' || c == '[') {
      const char close = c == '"' ? '"' : ']';
      const size_t end = s.find(close, i + 1);
      if (end == std::string_view::npos) return Failure{"42000", "unclosed quoted identifier"};
      i = end + 1;
      kind = Kind::kQuoted;
    } else if (c == '@') {
      ++i;
      while (i < s.size() && (IsWordChar(s[i]) || s[i] == '@')) ++i;
      kind = Kind::kVariable;
    } else if (IsWordStart(c)) {
      while (i < s.size() && IsWordChar(s[i])) ++i;
      kind = Kind::kWord;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
      kind = Kind::kNumber;
    } else {
      ++i;
      kind = Kind::kPunct;
    }
    out->push_back(Token{kind, s.substr(start, i - start)});
  }
  return std::nullopt;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// 'YYYY.MM.DD HH:MM:SS' (also with '/' and one-digit fields, time optional)
// becomes 'YYYY-MM-DD HH:MM:SS', the form the dates are stored in, so that
// text comparison orders them by time.
std::optional<std::string> IsoDateLiteral(std::string_view literal) {
  if (literal.size() < 2 || literal.front() != '\'' || literal.back() != '\'') return std::nullopt;
  std::string_view body = literal.substr(1, literal.size() - 2);
  const size_t space = body.find(' ');
  std::string_view date = body.substr(0, space);
  std::string_view time = space == std::string_view::npos ? std::string_view() : body.substr(space + 1);
  if (date.size() < 8 || date.size() > 10 || !AllDigits(date.substr(0, 4))) return std::nullopt;
  const char sep = date[4];
  if (sep != '.' && sep != '/') return std::nullopt;
  const size_t second = date.find(sep, 5);
  if (second == std::string_view::npos) return std::nullopt;
  std::string_view month = date.substr(5, second - 5);
  std::string_view day = date.substr(second + 1);
  if (month.empty() || month.size() > 2 || day.empty() || day.size() > 2 || !AllDigits(month) || !AllDigits(day)) {
    return std::nullopt;
  }
  auto two = [](std::string_view f) { return f.size() == 1 ? "0" + std::string(f) : std::string(f); };
  std::string iso = "'" + std::string(date.substr(0, 4)) + "-" + two(month) + "-" + two(day);
  if (!time.empty()) {
    std::string t;
    size_t pos = 0;
    int fields = 0;
    while (pos <= time.size() && fields < 3) {
      size_t colon = time.find(':', pos);
      std::string_view f = time.substr(pos, colon == std::string_view::npos ? std::string_view::npos : colon - pos);
      if (fields == 2) {
        const size_t dot = f.find('.');
        std::string_view whole = f.substr(0, dot);
        if (whole.empty() || whole.size() > 2 || !AllDigits(whole)) return std::nullopt;
        if (dot != std::string_view::npos && !AllDigits(f.substr(dot + 1))) return std::nullopt;
        t += ":" + two(whole) + (dot != std::string_view::npos ? std::string(f.substr(dot)) : "");
      } else {
        if (f.empty() || f.size() > 2 || !AllDigits(f)) return std::nullopt;
        t += (fields ? ":" : "") + two(f);
      }
      ++fields;
      if (colon == std::string_view::npos) break;
      pos = colon + 1;
    }
    if (fields < 2) return std::nullopt;
    if (fields == 2) t += ":00";
    iso += " " + t;
  }
  return iso + "'";
}

bool IsTextType(const std::string& u) {
  return u == "VARCHAR" || u == "NVARCHAR" || u == "CHAR" || u == "NCHAR" || u == "TEXT" || u == "NTEXT";
}

bool IsTypeName(const std::string& u) {
  static const char* const kNames[] = {"INT",   "INTEGER", "BIGINT",   "SMALLINT",      "TINYINT", "BIT",
                                       "NUMERIC", "DECIMAL", "MONEY",  "SMALLMONEY",    "FLOAT",   "REAL",
                                       "DATETIME", "SMALLDATETIME", "DATE", "TIME",     "VARCHAR", "NVARCHAR",
                                       "CHAR",  "NCHAR",   "TEXT",     "NTEXT",         "VARBINARY", "BINARY",
                                       "IMAGE", "UNIQUEIDENTIFIER"};
  return std::find(std::begin(kNames), std::end(kNames), u) != std::end(kNames);
}

bool IsIntegerType(const std::string& u) {
  return u == "INT" || u == "INTEGER" || u == "BIGINT" || u == "SMALLINT" || u == "TINYINT" || u == "NUMERIC" ||
         u == "DECIMAL";
}

bool IsRefusedFunction(const std::string& u) {
  static const char* const kNames[] = {"DATEDIFF", "DATEADD",  "DATEPART",       "DATENAME",      "CONVERT",
                                       "CHARINDEX", "PATINDEX", "NEWID",          "SCOPE_IDENTITY", "IDENT_CURRENT",
                                       "STUFF",     "REPLICATE", "OBJECT_ID",     "COL_LENGTH",    "DB_NAME",
                                       "SPACE",     "STR",       "LEFT",          "RIGHT",         "DATALENGTH"};
  return std::find(std::begin(kNames), std::end(kNames), u) != std::end(kNames);
}

// Rewrites one statement (no ';' at depth 0 inside).
class StatementRewriter {
 public:
  StatementRewriter(const std::vector<Token>& tokens, size_t begin, size_t end) : tokens_(tokens) {
    for (size_t k = begin; k < end; ++k) {
      if (tokens[k].kind != Kind::kSpace && tokens[k].kind != Kind::kComment) sig_.push_back(k);
    }
    for (size_t k = begin; k < end; ++k) {
      out_.push_back(tokens[k].kind == Kind::kComment ? std::string(" ") : std::string(tokens[k].text));
    }
    base_ = begin;
  }

  bool empty() const { return sig_.empty(); }

  std::optional<Failure> Run(SqliteStatement* result) {
    const std::string first = Up(0);
    if (first == "SELECT" || first == "WITH" || IsPunct(0, '(')) {
      result->verb = Verb::kSelect;
    } else if (first == "INSERT") {
      result->verb = Verb::kInsert;
    } else if (first == "UPDATE") {
      result->verb = Verb::kUpdate;
    } else if (first == "DELETE") {
      result->verb = Verb::kDelete;
    } else if (first == "TRUNCATE" && Up(1) == "TABLE") {
      result->verb = Verb::kDelete;
      Set(0, "DELETE");
      Set(1, "FROM");
    } else if (first == "CREATE" || first == "ALTER" || first == "DROP") {
      result->verb = Verb::kOther;
    } else if (first == "GO") {
      return Failure{"42000", "GO is a batch separator, not a statement"};
    } else {
      return Failure{"HYC00", "statement '" + Text(0) + "' is not supported by the stand-in"};
    }
    const bool create_table = first == "CREATE" && Up(1) == "TABLE";
    const bool alter_table = first == "ALTER" && Up(1) == "TABLE";
    if (first == "CREATE" || first == "ALTER") {
      size_t k = 1;
      while (Up(k) == "UNIQUE" || Up(k) == "CLUSTERED" || Up(k) == "NONCLUSTERED" || Up(k) == "OR") ++k;
      const std::string what = Up(k);
      if (what != "TABLE" && what != "INDEX" && what != "VIEW") {
        return Failure{"HYC00", first + " " + what + " is not supported by the stand-in"};
      }
      for (size_t k = 3; alter_table && k < sig_.size(); ++k) {
        if (Up(k) == "ALTER") return Failure{"HYC00", "ALTER TABLE ... ALTER COLUMN is not supported by the stand-in"};
      }
    }
    const bool ddl = create_table || alter_table;
    bool create_index = false;
    size_t index_name = 0;
    if (first == "CREATE") {
      size_t k = 1;
      while (Up(k) == "UNIQUE" || Up(k) == "CLUSTERED" || Up(k) == "NONCLUSTERED") ++k;
      if (Up(k) == "INDEX") {
        create_index = true;
        index_name = k + 1;
      }
    }

    int depth = 0;
    bool identity = false;
    for (size_t j = 0; j < sig_.size(); ++j) {
      const Token& t = tok(j);
      if (t.kind == Kind::kPunct) {
        const char c = t.text[0];
        if (c == '(') {
          ++depth;
        } else if (c == ')') {
          CloseLimit(depth, j);
          if (--depth < 0) return Failure{"42000", "unbalanced ')' in the statement text"};
        } else if (c == '{') {
          return Failure{"HYC00", "ODBC escape sequences other than {CALL ...} are not supported by the stand-in"};
        } else if (c == '?') {
          return Failure{"07002", "parameter markers are only supported as the return value of {?=CALL ...}"};
        } else if (c == '+' && (KindAt(j - 1) == Kind::kString || KindAt(j + 1) == Kind::kString)) {
          return Failure{"HYC00", "string concatenation with '+' is not supported by the stand-in"};
        }
        continue;
      }
      if (IsName(j) && !IsPunct(j - 1, '.') && IsPunct(j + 1, '.')) {
        const std::string name = Name(j);
        if (name == "QORVU" || name == "PANDEL") {
          // qorvu.dbo.X and qorvu..X: the default database is main, pandel is attached.
          size_t table = 0;
          if (Name(j + 2) == "DBO" && IsPunct(j + 3, '.')) {
            Set(j + 2, "");
            Set(j + 3, "");
            table = j + 4;
          } else if (IsPunct(j + 2, '.')) {
            Set(j + 2, "");
            table = j + 3;
          }
          if (table != 0) {
            if (create_index && j > 0 && Up(j - 1) == "ON") {
              // SQLite names the schema on the index, not on its table.
              Set(j, "");
              Set(j + 1, "");
              if (name == "PANDEL") Set(index_name, "pandel." + Text(index_name));
            } else {
              Set(j, name == "QORVU" ? "main" : "pandel");
            }
            j = table - 1;
            continue;
          }
        } else if (name == "DBO") {
          Set(j, "");
          Set(j + 1, "");
          ++j;
          continue;
        }
      }
      if (t.kind == Kind::kVariable) {
        return Failure{"HYC00", "variable " + std::string(t.text) + " is not supported by the stand-in"};
      }
      if (t.kind == Kind::kString) {
        std::string literal(t.text);
        if (literal[0] != '\'') literal.erase(0, 1);  // N'...'
        if (auto iso = IsoDateLiteral(literal)) literal = *iso;
        Set(j, literal);
        continue;
      }
      if (t.kind == Kind::kQuoted) {
        if (t.text[0] == '[') Set(j, "\"" + std::string(t.text.substr(1, t.text.size() - 2)) + "\"");
        if (ddl && Name(j) == "PRIMARY" && j > 0 && Up(j - 1) == "ON") {
          Set(j - 1, "");
          Set(j, "");
        } else if (ddl && IsTypeName(Name(j)) && j > 0 && IsName(j - 1)) {
          Set(j, Name(j));  // a bracketed type name, as scripts write [int]
          ColumnType(j, depth);
        }
        continue;
      }
      if (t.kind != Kind::kWord) continue;
      const std::string u = Up(j);
      const bool call_follows = IsPunct(j + 1, '(');
      if (u == "SELECT") {
        size_t k = j + 1;
        if (Up(k) == "DISTINCT" || Up(k) == "ALL") ++k;
        if (Up(k) == "TOP") {
          auto failure = TakeTop(k, depth, &j);
          if (failure) return failure;
        }
      } else if (u == "ISNULL" && call_follows) {
        Set(j, "IFNULL");
      } else if (u == "LEN" && call_follows) {
        Set(j, "qorvu_len");
      } else if (u == "GETDATE" && call_follows && IsPunct(j + 2, ')')) {
        Set(j, "(datetime('now','localtime'))");
        Set(j + 1, "");
        Set(j + 2, "");
        j += 2;
        continue;
      } else if (call_follows && IsRefusedFunction(u)) {
        return Failure{"HYC00", "function " + u + " is not supported by the stand-in"};
      } else if (u == "WITH" && j > 0 && call_follows) {
        return Failure{"HYC00", "table hints WITH(...) are not supported by the stand-in"};
      } else if (u == "TOP") {
        return Failure{"HYC00", "TOP is only supported right after SELECT"};
      } else if (u == "CLUSTERED" || u == "NONCLUSTERED") {
        Set(j, "");
      } else if (u == "MAX" && IsPunct(j - 1, '(') && IsPunct(j + 1, ')')) {
        Set(j - 1, "");
        Set(j, "");
        Set(j + 1, "");
      } else if (ddl && u == "ON" && Name(j + 1) == "PRIMARY" && depth == 0) {
        Set(j, "");
        Set(j + 1, "");
        ++j;
      } else if (ddl && IsTypeName(u) && j > 0 && IsName(j - 1) && Up(j - 1) != "ADD") {
        ColumnType(j, depth);
      } else if (ddl && u == "IDENTITY") {
        // An identity column becomes SQLite's auto-increment row id.
        identity = true;
        if (IsIntegerType(Name(j - 1))) Set(j - 1, "INTEGER");
        Set(j, "PRIMARY KEY AUTOINCREMENT");
        if (IsPunct(j + 1, '(')) {
          size_t k = j + 1;
          while (k < sig_.size() && !IsPunct(k, ')')) Set(k++, "");
          if (k < sig_.size()) Set(k, "");
          j = k;
        }
      } else if (ddl && identity && u == "PRIMARY" && Up(j + 1) == "KEY") {
        auto failure = DropPrimaryKey(j, &j);
        if (failure) return failure;
      }
    }
    CloseLimit(0, sig_.size());
    for (auto& piece : out_) result->sql += piece;
    result->sql += tail_;
    return std::nullopt;
  }

 private:
  const Token& tok(size_t j) const { return tokens_[sig_[j]]; }
  Kind KindAt(size_t j) const { return j < sig_.size() ? tok(j).kind : Kind::kSpace; }
  bool IsPunct(size_t j, char c) const {
    return j < sig_.size() && tok(j).kind == Kind::kPunct && tok(j).text[0] == c;
  }
  std::string Text(size_t j) const { return j < sig_.size() ? std::string(tok(j).text) : std::string(); }
  std::string Up(size_t j) const {
    return j < sig_.size() && tok(j).kind == Kind::kWord ? Upper(tok(j).text) : std::string();
  }
  // A word or a quoted identifier, unquoted, in upper case.
  std::string Name(size_t j) const {
    if (j >= sig_.size()) return {};
    if (tok(j).kind == Kind::kQuoted) return Upper(tok(j).text.substr(1, tok(j).text.size() - 2));
    return Up(j);
  }
  void Set(size_t j, std::string text) { out_[sig_[j] - base_] = std::move(text); }
  void Append(size_t j, std::string_view text) { out_[sig_[j] - base_] += text; }

  // Removes "TOP n" or "TOP (n)" starting at k; *resume becomes its last token.
  std::optional<Failure> TakeTop(size_t k, int depth, size_t* resume) {
    std::string count;
    size_t last = k + 1;
    if (KindAt(k + 1) == Kind::kNumber) {
      count = Text(k + 1);
    } else if (IsPunct(k + 1, '(') && KindAt(k + 2) == Kind::kNumber && IsPunct(k + 3, ')')) {
      count = Text(k + 2);
      last = k + 3;
    }
    if (!AllDigits(count)) return Failure{"HYC00", "TOP needs a whole number in the stand-in"};
    if (Up(last + 1) == "PERCENT" || (Up(last + 1) == "WITH" && Up(last + 2) == "TIES")) {
      return Failure{"HYC00", "TOP ... " + Up(last + 1) + " is not supported by the stand-in"};
    }
    for (size_t m = k; m <= last; ++m) Set(m, "");
    limits_.push_back({depth, count});
    *resume = last;
    return std::nullopt;
  }

  // The limit of a SELECT TOP ends where its level ends; it goes on a line of
  // its own so that a trailing "--" comment cannot swallow it.
  void CloseLimit(int depth, size_t j) {
    while (!limits_.empty() && limits_.back().first >= depth) {
      const std::string clause = "\nLIMIT " + limits_.back().second;
      if (j < sig_.size()) {
        out_[sig_[j] - base_].insert(0, clause + "\n");
      } else {
        tail_ += clause;
      }
      limits_.pop_back();
    }
  }

  // With an identity column the table's key is already that column: a
  // further PRIMARY KEY (on the column or as a table constraint) goes away.
  std::optional<Failure> DropPrimaryKey(size_t j, size_t* resume) {
    size_t from = j;
    if (j >= 2 && Up(j - 2) == "CONSTRAINT") from = j - 2;
    size_t to = j + 1;
    while (Up(to + 1) == "ASC" || Up(to + 1) == "DESC" || Up(to + 1) == "CLUSTERED" || Up(to + 1) == "NONCLUSTERED") {
      ++to;
    }
    if (IsPunct(to + 1, '(')) {
      to += 1;
      while (to < sig_.size() && !IsPunct(to, ')')) ++to;
      if (to >= sig_.size()) return Failure{"42000", "unbalanced '(' in PRIMARY KEY"};
      if (from > 0 && IsPunct(from - 1, ',')) --from;  // a table constraint with its comma
    }
    for (size_t m = from; m <= to; ++m) Set(m, "");
    *resume = to;
    return std::nullopt;
  }

  bool IsName(size_t j) const { return KindAt(j) == Kind::kWord || KindAt(j) == Kind::kQuoted; }

  // A column's type in DDL: text columns compare as SQL Server's do.
  void ColumnType(size_t j, int) {
    if (!IsTextType(Name(j))) return;
    size_t last = j;
    if (IsPunct(j + 1, '(')) {
      size_t k = j + 1;
      while (k < sig_.size() && !IsPunct(k, ')')) ++k;
      last = k < sig_.size() ? k : j;
    }
    Append(last, " COLLATE QNOCASE");
  }

  const std::vector<Token>& tokens_;
  std::vector<size_t> sig_;
  std::vector<std::string> out_;
  size_t base_ = 0;
  std::vector<std::pair<int, std::string>> limits_;
  std::string tail_;
};

std::optional<Failure> ParseCall(const std::vector<Token>& all, ProcedureCall* call) {
  std::vector<const Token*> t;
  for (const Token& token : all) {
    if (token.kind != Kind::kSpace && token.kind != Kind::kComment) t.push_back(&token);
  }
  const Failure syntax{"42000", "unsupported procedure call; expected {?=CALL name(arguments)} or {CALL name(arguments)}"};
  auto punct = [&](size_t k, char c) {
    return k < t.size() && t[k]->kind == Kind::kPunct && t[k]->text[0] == c;
  };
  size_t k = 1;
  if (punct(k, '?')) {
    if (!punct(k + 1, '=')) return syntax;
    call->has_return = true;
    k += 2;
  }
  if (k >= t.size() || t[k]->kind != Kind::kWord || Upper(t[k]->text) != "CALL") return syntax;
  ++k;
  std::string name;
  while (k < t.size() && (t[k]->kind == Kind::kWord || t[k]->kind == Kind::kQuoted || punct(k, '.'))) {
    if (punct(k, '.')) {
      name.clear();
    } else {
      name = std::string(t[k]->kind == Kind::kQuoted ? t[k]->text.substr(1, t[k]->text.size() - 2) : t[k]->text);
    }
    ++k;
  }
  if (name.empty()) return syntax;
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  call->name = name;
  if (punct(k, '(')) {
    ++k;
    if (!punct(k, ')')) {
      for (;;) {
        CallArgument arg;
        bool negative = false;
        if (punct(k, '-')) {
          negative = true;
          ++k;
        }
        if (k >= t.size()) return syntax;
        if (t[k]->kind == Kind::kNumber && AllDigits(t[k]->text) && t[k]->text.size() <= 18) {
          arg.number = std::strtoll(std::string(t[k]->text).c_str(), nullptr, 10) * (negative ? -1 : 1);
        } else if (t[k]->kind == Kind::kString && !negative) {
          std::string_view body = t[k]->text;
          if (body[0] != '\'') body.remove_prefix(1);
          body = body.substr(1, body.size() - 2);
          arg.is_text = true;
          for (size_t m = 0; m < body.size(); ++m) {
            arg.text += body[m];
            if (body[m] == '\'') ++m;  // '' stands for one apostrophe
          }
        } else if (t[k]->kind == Kind::kPunct && t[k]->text[0] == '?') {
          return Failure{"07002", "parameter markers are only supported as the return value of {?=CALL ...}"};
        } else {
          return Failure{"42000", "procedure arguments must be numbers or quoted texts: " + std::string(t[k]->text)};
        }
        call->args.push_back(std::move(arg));
        ++k;
        if (punct(k, ',')) {
          ++k;
          continue;
        }
        break;
      }
    }
    if (!punct(k, ')')) return syntax;
    ++k;
  }
  if (!punct(k, '}') || k + 1 != t.size()) return syntax;
  return std::nullopt;
}

}  // namespace

Rewritten RewriteStatement(std::string_view text) {
  Rewritten result;
  std::vector<Token> tokens;
  if (auto failure = Tokenize(text, &tokens)) {
    result.sqlstate = failure->sqlstate;
    result.error = failure->message;
    return result;
  }
  const auto first = std::find_if(tokens.begin(), tokens.end(), [](const Token& t) {
    return t.kind != Kind::kSpace && t.kind != Kind::kComment;
  });
  if (first == tokens.end()) {
    result.sqlstate = "42000";
    result.error = "empty statement text";
    return result;
  }
  if (first->kind == Kind::kPunct && first->text[0] == '{') {
    result.is_call = true;
    if (auto failure = ParseCall(tokens, &result.call)) {
      result.sqlstate = failure->sqlstate;
      result.error = failure->message;
      return result;
    }
    result.ok = true;
    return result;
  }
  int depth = 0;
  size_t begin = 0;
  for (size_t k = 0; k <= tokens.size(); ++k) {
    const bool end = k == tokens.size();
    if (!end && tokens[k].kind == Kind::kPunct) {
      if (tokens[k].text[0] == '(') ++depth;
      if (tokens[k].text[0] == ')') --depth;
    }
    if (end || (depth == 0 && tokens[k].kind == Kind::kPunct && tokens[k].text[0] == ';')) {
      StatementRewriter rewriter(tokens, begin, k);
      if (!rewriter.empty()) {
        SqliteStatement statement;
        if (auto failure = rewriter.Run(&statement)) {
          result.sqlstate = failure->sqlstate;
          result.error = failure->message;
          result.statements.clear();
          return result;
        }
        result.statements.push_back(std::move(statement));
      }
      begin = k + 1;
    }
  }
  if (result.statements.empty()) {
    result.sqlstate = "42000";
    result.error = "empty statement text";
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace standin
