#include "parser.h"

#include <optional>

#include "../function_registry.h"
#include "../objects.h"

namespace fmsim::calc {
namespace {

constexpr char16_t kPilcrow = 0x00B6;  // FileMaker's ¶, a return
constexpr char16_t kNotEqualSign = 0x2260;
constexpr char16_t kLessEqualSign = 0x2264;
constexpr char16_t kGreaterEqualSign = 0x2265;
// Deeper nesting than this is refused instead of risking the stack.
constexpr int kMaxDepth = 120;

enum class Tok {
  End,
  Number,
  Text,
  Name,
  Return,
  Plus,
  Minus,
  Star,
  Slash,
  Caret,
  Amp,
  Equal,
  NotEqual,
  Less,
  Greater,
  LessEqual,
  GreaterEqual,
  LParen,
  RParen,
  LBracket,
  RBracket,
  Semicolon,
  Invalid,
};

struct Token {
  Tok kind = Tok::End;
  std::u16string text;
};

struct BuiltinInfo {
  const char16_t* name;
  Builtin id;
  int minArgs;
  int maxArgs;  // -1: no limit
};

constexpr BuiltinInfo kBuiltins[] = {
    {u"LENGTH", Builtin::Length, 1, 1},
    {u"UPPER", Builtin::Upper, 1, 1},
    {u"LOWER", Builtin::Lower, 1, 1},
    {u"LEFT", Builtin::Left, 2, 2},
    {u"RIGHT", Builtin::Right, 2, 2},
    {u"MIDDLE", Builtin::Middle, 3, 3},
    {u"GETASTEXT", Builtin::GetAsText, 1, 1},
    {u"GETASNUMBER", Builtin::GetAsNumber, 1, 1},
    {u"GETASDATE", Builtin::GetAsDate, 1, 1},
    {u"GETASTIME", Builtin::GetAsTime, 1, 1},
    {u"GETASTIMESTAMP", Builtin::GetAsTimestamp, 1, 1},
    {u"DATE", Builtin::Date, 3, 3},
    {u"TIME", Builtin::Time, 3, 3},
    {u"TIMESTAMP", Builtin::Timestamp, 2, 2},
    {u"IF", Builtin::If, 2, 3},
    {u"CASE", Builtin::Case, 2, -1},
    {u"ABS", Builtin::Abs, 1, 1},
    {u"INT", Builtin::Int, 1, 1},
    {u"ROUND", Builtin::Round, 2, 2},
    {u"EXACT", Builtin::Exact, 2, 2},
    {u"QUOTE", Builtin::Quote, 1, 1},
    {u"BASE64ENCODE", Builtin::Base64Encode, 1, 1},
    {u"BASE64DECODE", Builtin::Base64Decode, 1, 2},
};

// FileMaker's Pi: more digits than a result ever shows.
constexpr char kPiDigits[] = "3.14159265358979323846264338327950288";

bool isNameStart(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u'$' ||
         (c >= 0xC0 && c != kPilcrow && c != kNotEqualSign && c != kLessEqualSign && c != kGreaterEqualSign &&
          c != 0xD7 && c != 0xF7);
}

bool isNamePart(char16_t c) {
  return isNameStart(c) || (c >= u'0' && c <= u'9') || c == u'.';
}

bool isDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

class Lexer {
 public:
  explicit Lexer(std::u16string_view source) : s_(source) {}

  Token next() {
    skipSpaceAndComments();
    Token t;
    if (at_ >= s_.size()) return t;
    char16_t c = s_[at_];
    if (isDigit(c) || (c == u'.' && at_ + 1 < s_.size() && isDigit(s_[at_ + 1]))) return number();
    if (c == u'"') return text();
    if (isNameStart(c)) {
      size_t start = at_;
      while (at_ < s_.size() && isNamePart(s_[at_])) ++at_;
      t.kind = Tok::Name;
      t.text = s_.substr(start, at_ - start);
      return t;
    }
    ++at_;
    auto peekIs = [&](char16_t next) {
      if (at_ < s_.size() && s_[at_] == next) {
        ++at_;
        return true;
      }
      return false;
    };
    switch (c) {
      case u'+':
        t.kind = Tok::Plus;
        break;
      case u'-':
        t.kind = Tok::Minus;
        break;
      case u'*':
        t.kind = Tok::Star;
        break;
      case u'/':
        t.kind = Tok::Slash;
        break;
      case u'^':
        t.kind = Tok::Caret;
        break;
      case u'&':
        t.kind = Tok::Amp;
        break;
      case u'=':
        t.kind = Tok::Equal;
        break;
      case kNotEqualSign:
        t.kind = Tok::NotEqual;
        break;
      case kLessEqualSign:
        t.kind = Tok::LessEqual;
        break;
      case kGreaterEqualSign:
        t.kind = Tok::GreaterEqual;
        break;
      case u'<':
        t.kind = peekIs(u'>') ? Tok::NotEqual : peekIs(u'=') ? Tok::LessEqual : Tok::Less;
        break;
      case u'>':
        t.kind = peekIs(u'=') ? Tok::GreaterEqual : Tok::Greater;
        break;
      case u'(':
        t.kind = Tok::LParen;
        break;
      case u')':
        t.kind = Tok::RParen;
        break;
      case u'[':
        t.kind = Tok::LBracket;
        break;
      case u']':
        t.kind = Tok::RBracket;
        break;
      case u';':
        t.kind = Tok::Semicolon;
        break;
      case kPilcrow:
        t.kind = Tok::Return;
        break;
      default:
        t.kind = Tok::Invalid;
        break;
    }
    return t;
  }

 private:
  void skipSpaceAndComments() {
    while (at_ < s_.size()) {
      char16_t c = s_[at_];
      if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0) {
        ++at_;
      } else if (c == u'/' && at_ + 1 < s_.size() && s_[at_ + 1] == u'/') {
        while (at_ < s_.size() && s_[at_] != u'\r' && s_[at_] != u'\n') ++at_;
      } else if (c == u'/' && at_ + 1 < s_.size() && s_[at_ + 1] == u'*') {
        size_t end = s_.find(u"*/", at_ + 2);
        if (end == std::u16string_view::npos) throw CalcError{kCalcUnterminatedComment};
        at_ = end + 2;
      } else {
        return;
      }
    }
  }

  Token number() {
    size_t start = at_;
    bool seenPoint = false;
    while (at_ < s_.size() && (isDigit(s_[at_]) || (s_[at_] == u'.' && !seenPoint))) {
      if (s_[at_] == u'.') seenPoint = true;
      ++at_;
    }
    // An exponent: "e" or "E", an optional sign and at least one digit ("1.5e3", "2E-4").
    if (at_ < s_.size() && (s_[at_] == u'e' || s_[at_] == u'E')) {
      size_t digitsAt = at_ + 1;
      if (digitsAt < s_.size() && (s_[digitsAt] == u'+' || s_[digitsAt] == u'-')) ++digitsAt;
      if (digitsAt < s_.size() && isDigit(s_[digitsAt])) {
        at_ = digitsAt;
        while (at_ < s_.size() && isDigit(s_[at_])) ++at_;
      }
    }
    return Token{Tok::Number, std::u16string(s_.substr(start, at_ - start))};
  }

  // FileMaker's text constants: \" is a quote, \\ a backslash, \¶ a pilcrow, ¶ a return.
  Token text() {
    ++at_;
    std::u16string units;
    while (true) {
      if (at_ >= s_.size()) throw CalcError{kCalcUnterminatedText};
      char16_t c = s_[at_++];
      if (c == u'"') break;
      if (c == u'\\' && at_ < s_.size() && (s_[at_] == u'"' || s_[at_] == u'\\' || s_[at_] == kPilcrow)) {
        units.push_back(s_[at_++]);
      } else if (c == kPilcrow) {
        units.push_back(u'\r');
      } else {
        units.push_back(c);
      }
    }
    return Token{Tok::Text, std::move(units)};
  }

  std::u16string_view s_;
  size_t at_ = 0;
};

bool isKeyword(const Token& t, std::u16string_view upper) {
  return t.kind == Tok::Name && upperText(t.text) == upper;
}

class Parser {
 public:
  explicit Parser(std::u16string_view source) : lexer_(source) { advance(); }

  NodePtr parseAll() {
    NodePtr root = expression();
    if (current_.kind == Tok::RParen) throw CalcError{kCalcUnbalancedParenthesis};
    if (current_.kind != Tok::End) throw CalcError{kCalcOperatorMissing};
    return root;
  }

 private:
  void advance() { current_ = lexer_.next(); }

  void expect(Tok kind, int16_t code) {
    if (current_.kind != kind) throw CalcError{code};
    advance();
  }

  // Operators of one precedence form one flat chain node, so that a long sum does not nest deeply.
  static NodePtr binary(BinaryOp op, NodePtr left, NodePtr right) {
    if (left->kind != Node::Kind::Binary || left->chainClosed ||
        precedence(left->ops.front()) != precedence(op)) {
      auto node = std::make_unique<Node>();
      node->kind = Node::Kind::Binary;
      node->children.push_back(std::move(left));
      left = std::move(node);
    }
    left->ops.push_back(op);
    left->children.push_back(std::move(right));
    return left;
  }

  static int precedence(BinaryOp op) {
    switch (op) {
      case BinaryOp::Or:
      case BinaryOp::Xor:
        return 0;
      case BinaryOp::And:
        return 1;
      case BinaryOp::Concat:
        return 3;
      case BinaryOp::Add:
      case BinaryOp::Subtract:
        return 4;
      case BinaryOp::Multiply:
      case BinaryOp::Divide:
        return 5;
      case BinaryOp::Power:
        return 6;
      default:
        return 2;
    }
  }

  struct DepthGuard {
    explicit DepthGuard(int& d) : depth(d) {
      if (++depth > kMaxDepth) throw CalcError{kCalcGeneric};
    }
    ~DepthGuard() { --depth; }
    int& depth;
  };

  NodePtr expression() {
    DepthGuard guard(depth_);
    return orExpression();
  }

  NodePtr orExpression() {
    NodePtr left = andExpression();
    while (isKeyword(current_, u"OR") || isKeyword(current_, u"XOR")) {
      BinaryOp op = isKeyword(current_, u"OR") ? BinaryOp::Or : BinaryOp::Xor;
      advance();
      left = binary(op, std::move(left), andExpression());
    }
    return left;
  }

  NodePtr andExpression() {
    NodePtr left = notExpression();
    while (isKeyword(current_, u"AND")) {
      advance();
      left = binary(BinaryOp::And, std::move(left), notExpression());
    }
    return left;
  }

  NodePtr notExpression() {
    if (isKeyword(current_, u"NOT")) {
      DepthGuard guard(depth_);
      advance();
      auto node = std::make_unique<Node>();
      node->kind = Node::Kind::Not;
      node->children.push_back(notExpression());
      return node;
    }
    return comparison();
  }

  std::optional<BinaryOp> comparisonOp() const {
    switch (current_.kind) {
      case Tok::Equal:
        return BinaryOp::Equal;
      case Tok::NotEqual:
        return BinaryOp::NotEqual;
      case Tok::Less:
        return BinaryOp::Less;
      case Tok::Greater:
        return BinaryOp::Greater;
      case Tok::LessEqual:
        return BinaryOp::LessEqual;
      case Tok::GreaterEqual:
        return BinaryOp::GreaterEqual;
      default:
        return std::nullopt;
    }
  }

  NodePtr comparison() {
    NodePtr left = concatenation();
    while (auto op = comparisonOp()) {
      advance();
      left = binary(*op, std::move(left), concatenation());
    }
    return left;
  }

  NodePtr concatenation() {
    NodePtr left = additive();
    while (current_.kind == Tok::Amp) {
      advance();
      left = binary(BinaryOp::Concat, std::move(left), additive());
    }
    return left;
  }

  NodePtr additive() {
    NodePtr left = term();
    while (current_.kind == Tok::Plus || current_.kind == Tok::Minus) {
      BinaryOp op = current_.kind == Tok::Plus ? BinaryOp::Add : BinaryOp::Subtract;
      advance();
      left = binary(op, std::move(left), term());
    }
    return left;
  }

  NodePtr term() {
    NodePtr left = power();
    while (current_.kind == Tok::Star || current_.kind == Tok::Slash) {
      BinaryOp op = current_.kind == Tok::Star ? BinaryOp::Multiply : BinaryOp::Divide;
      advance();
      left = binary(op, std::move(left), power());
    }
    return left;
  }

  // "^" binds tighter than "*" and "/" and, like them, runs left to right: 2 ^ 3 ^ 2 is 64.
  NodePtr power() {
    NodePtr left = unary();
    while (current_.kind == Tok::Caret) {
      advance();
      left = binary(BinaryOp::Power, std::move(left), unary());
    }
    return left;
  }

  NodePtr unary() {
    if (current_.kind == Tok::Minus || current_.kind == Tok::Plus) {
      DepthGuard guard(depth_);
      bool negate = current_.kind == Tok::Minus;
      advance();
      NodePtr operand = unary();
      if (!negate) return operand;
      auto node = std::make_unique<Node>();
      node->kind = Node::Kind::Negate;
      node->children.push_back(std::move(operand));
      return node;
    }
    return primary();
  }

  // A literal whose token is already consumed.
  static NodePtr constant(Value value) {
    auto node = std::make_unique<Node>();
    node->literal = std::move(value);
    return node;
  }

  NodePtr literal(Value value) {
    auto node = std::make_unique<Node>();
    node->literal = std::move(value);
    advance();
    return node;
  }

  NodePtr primary() {
    switch (current_.kind) {
      case Tok::Number: {
        auto number = Decimal::parseScientific(std::string(current_.text.begin(), current_.text.end()));
        if (!number) throw CalcError{kCalcOperandExpected};
        return literal(Value::ofNumber(*number));
      }
      case Tok::Text:
        return literal(Value::ofText(current_.text));
      case Tok::Return:
        return literal(Value::ofText(u"\r"));
      case Tok::LParen: {
        advance();
        NodePtr inner = expression();
        expect(Tok::RParen, kCalcUnbalancedParenthesis);
        // "(a + b) + c" stays two chains; only the operators written side by side join.
        inner->chainClosed = true;
        return inner;
      }
      case Tok::Name:
        return name();
      case Tok::RParen:
      case Tok::End:
      default:
        throw CalcError{kCalcOperandExpected};
    }
  }

  NodePtr name() {
    std::u16string written = current_.text;
    std::u16string folded = upperText(written);
    advance();
    if (current_.kind != Tok::LParen) {
      for (auto it = scope_.rbegin(); it != scope_.rend(); ++it) {
        if (*it == folded) {
          auto node = std::make_unique<Node>();
          node->kind = Node::Kind::Variable;
          node->name = folded;
          return node;
        }
      }
      if (folded == u"PI") return constant(Value::ofNumber(*Decimal::parse(kPiDigits)));
      // A function that takes no parameters is written without brackets, as FileMaker writes them.
      std::optional<RegisteredFunction> function;
      {
        auto lock = hostLock();
        function = findFunctionLocked(written);
      }
      if (!function || function->minArgs > 0) throw CalcError{kCalcFieldMissing};
      auto node = std::make_unique<Node>();
      node->kind = Node::Kind::External;
      node->name = written;
      node->function = *function;
      return node;
    }
    advance();
    if (folded == u"LET") return let();
    auto node = std::make_unique<Node>();
    node->name = written;
    int minArgs = 0;
    int maxArgs = 0;
    if (const BuiltinInfo* info = findBuiltin(folded)) {
      node->kind = Node::Kind::Builtin;
      node->builtin = info->id;
      minArgs = info->minArgs;
      maxArgs = info->maxArgs;
    } else {
      std::optional<RegisteredFunction> function;
      {
        auto lock = hostLock();
        function = findFunctionLocked(written);
      }
      if (!function) throw CalcError{kCalcOperatorMissing};
      node->kind = Node::Kind::External;
      node->function = *function;
      minArgs = function->minArgs;
      maxArgs = function->maxArgs;
    }
    if (current_.kind != Tok::RParen) {
      node->children.push_back(expression());
      while (current_.kind == Tok::Semicolon) {
        advance();
        node->children.push_back(expression());
      }
    }
    if (current_.kind != Tok::RParen) {
      throw CalcError{current_.kind == Tok::End ? kCalcUnbalancedParenthesis : kCalcOperatorMissing};
    }
    advance();
    int count = static_cast<int>(node->children.size());
    if (count < minArgs) throw CalcError{kCalcTooFewParameters};
    if (maxArgs >= 0 && count > maxArgs) throw CalcError{kCalcTooManyParameters};
    return node;
  }

  static const BuiltinInfo* findBuiltin(std::u16string_view folded) {
    for (const BuiltinInfo& info : kBuiltins) {
      if (folded == info.name) return &info;
    }
    return nullptr;
  }

  // Let ( name = value ; body ) or Let ( [ name = value ; ... ] ; body ); the "Let (" is consumed.
  NodePtr let() {
    auto node = std::make_unique<Node>();
    node->kind = Node::Kind::Let;
    size_t scopeSize = scope_.size();
    bool list = current_.kind == Tok::LBracket;
    if (list) advance();
    while (true) {
      if (current_.kind != Tok::Name) throw CalcError{kCalcOperandExpected};
      std::u16string folded = upperText(current_.text);
      advance();
      expect(Tok::Equal, kCalcOperatorMissing);
      node->children.push_back(expression());
      node->names.push_back(folded);
      scope_.push_back(folded);
      if (!list) break;
      if (current_.kind == Tok::RBracket) {
        advance();
        break;
      }
      expect(Tok::Semicolon, kCalcOperatorMissing);
    }
    if (current_.kind != Tok::Semicolon) {
      throw CalcError{current_.kind == Tok::RParen ? kCalcTooFewParameters : kCalcOperatorMissing};
    }
    advance();
    node->children.push_back(expression());
    scope_.resize(scopeSize);
    if (current_.kind == Tok::Semicolon) throw CalcError{kCalcTooManyParameters};
    expect(Tok::RParen, kCalcUnbalancedParenthesis);
    return node;
  }

  Lexer lexer_;
  Token current_;
  std::vector<std::u16string> scope_;
  int depth_ = 0;
};

}  // namespace

NodePtr parseCalculation(std::u16string_view source) {
  return Parser(source).parseAll();
}

}  // namespace fmsim::calc
