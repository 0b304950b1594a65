// Expression evaluation: a tokenizer that resolves names as it reads them and a
// precedence-climbing parser that computes as it reduces.
#include <cctype>
#include <cstring>

#include "jam_internal.h"

namespace lx {
namespace jam {
namespace {

enum Tok {
  TK_END, TK_NUM, TK_ARRAY, TK_ABS, TK_INTEGER, TK_LOG2, TK_SQRT, TK_CEIL, TK_FLOOR,
  TK_AND, TK_OR, TK_EQ, TK_NE, TK_GE, TK_LE, TK_SHL, TK_SHR, TK_RANGE, TK_CHAR,
};

enum NodeKind { NK_OTHER, NK_DIV, NK_LOG2, NK_SQRT };

struct Val {
  int32_t v = 0;
  ValueType t = T_INT;
  NodeKind kind = NK_OTHER;
  int32_t a = 0, b = 0;
};

constexpr size_t kMaxText = 1023;
constexpr int kMaxDepth = 150;  // nesting the parser allows before it calls the text bad

bool IntClass(ValueType t) { return t == T_INT || t == T_INTBOOL; }
bool BoolClass(ValueType t) { return t == T_BOOL || t == T_INTBOOL; }

class Evaluator {
 public:
  Evaluator(Player& p, std::string_view text) : p_(p), s_(text) {}

  int Run(ExprResult* out) {
    if (s_.size() > kMaxText) return JAMC_SYNTAX_ERROR;
    if (int rc = Next()) return rc;
    Val v;
    if (int rc = Binary(0, &v)) return rc;
    if (tok_ != TK_END) return JAMC_SYNTAX_ERROR;
    out->value = v.v;
    out->type = v.t;
    return 0;
  }

 private:
  int Next() {
    while (pos_ < s_.size() && (static_cast<unsigned char>(s_[pos_]) < 33 || s_[pos_] == 127))
      ++pos_;
    if (pos_ >= s_.size()) {
      tok_ = TK_END;
      return 0;
    }
    size_t b = pos_;
    char c = s_[pos_];
    int pending = radix_;
    radix_ = 10;
    if (pending == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
      // "$" followed by hex digits, also those that begin with a letter.
      while (pos_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
      if (pos_ < s_.size() && IsIdentChar(static_cast<unsigned char>(s_[pos_])))
        return JAMC_SYNTAX_ERROR;
      return Number(s_.substr(b, pos_ - b), 16);
    }
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
      bool ident = !std::isdigit(static_cast<unsigned char>(c)) ||
                   (pos_ < s_.size() && IsIdentChar(static_cast<unsigned char>(s_[pos_])));
      if (!ident) {
        if (pos_ - b > kMaxText) return JAMC_SYNTAX_ERROR;
        return Number(s_.substr(b, pos_ - b), pending == 16 ? 10 : pending);
      }
      while (pos_ < s_.size() && IsIdentChar(static_cast<unsigned char>(s_[pos_]))) ++pos_;
      return Word(s_.substr(b, pos_ - b));
    }
    static const struct { const char* text; Tok tok; } kOps[] = {
        {"&&", TK_AND}, {"||", TK_OR}, {"==", TK_EQ}, {"!=", TK_NE}, {">=", TK_GE},
        {"<=", TK_LE},  {"<<", TK_SHL}, {">>", TK_SHR}, {"..", TK_RANGE},
    };
    for (const auto& op : kOps)
      if (s_.substr(pos_, 2) == op.text) {
        pos_ += 2;
        tok_ = op.tok;
        return 0;
      }
    ++pos_;
    tok_ = TK_CHAR;
    ch_ = c;
    if (c == '#') radix_ = 2;
    if (c == '$') radix_ = 16;
    return 0;
  }

  int Number(std::string_view digits, int radix) {
    uint64_t v = 0;
    for (char d : digits) {
      int x = std::isdigit(static_cast<unsigned char>(d)) ? d - '0'
                                                          : std::toupper(static_cast<unsigned char>(d)) - 'A' + 10;
      if (x >= radix) return JAMC_SYNTAX_ERROR;
      v = v * static_cast<uint64_t>(radix) + static_cast<uint64_t>(x);
      // Decimal literals stop at the largest positive value; binary and hex ones may
      // fill all 32 bits.
      uint64_t max = radix == 10 ? 0x7FFFFFFFull : 0xFFFFFFFFull;
      if (v > max) return JAMC_INTEGER_OVERFLOW;
    }
    tok_ = TK_NUM;
    val_ = Val();
    val_.v = static_cast<int32_t>(static_cast<uint32_t>(v));
    val_.t = (v == 0 || v == 1) ? T_INTBOOL : T_INT;
    return 0;
  }

  int Word(std::string_view w) {
    if (w.size() > kMaxText) return JAMC_SYNTAX_ERROR;
    static const struct { const char* text; Tok tok; } kWords[] = {
        {"AND", TK_AND},   {"OR", TK_OR},     {"ABS", TK_ABS},   {"INTEGER", TK_INTEGER},
        {"LOG2", TK_LOG2}, {"SQRT", TK_SQRT}, {"CEIL", TK_CEIL}, {"FLOOR", TK_FLOOR},
    };
    for (const auto& k : kWords)
      if (w == k.text) {
        tok_ = k.tok;
        return 0;
      }
    // The standard's short spelling of INTEGER; as a function it is always followed by "(",
    // so a variable of that name still reads as one.
    if (w == "INT") {
      size_t k = pos_;
      while (k < s_.size() && (static_cast<unsigned char>(s_[k]) < 33 || s_[k] == 127)) ++k;
      if (k < s_.size() && s_[k] == '(') {
        tok_ = TK_INTEGER;
        return 0;
      }
    }
    Symbol* s;
    if (int rc = p_.Lookup(w, &s)) return rc;
    val_ = Val();
    switch (s->kind) {
      case SK_INT:
        tok_ = TK_NUM;
        val_.v = s->value;
        val_.t = T_INT;
        return 0;
      case SK_BOOL:
        tok_ = TK_NUM;
        val_.v = s->value ? 1 : 0;
        val_.t = T_BOOL;
        return 0;
      case SK_INT_ARRAY:
      case SK_BOOL_ARRAY:
      case SK_BOOL_ARRAY_CONST:
        tok_ = TK_ARRAY;
        sym_ = s;
        return 0;
      default:
        return JAMC_SYNTAX_ERROR;
    }
  }

  bool IsChar(char c) const { return tok_ == TK_CHAR && ch_ == c; }
  int Expect(char c) {
    if (!IsChar(c)) return JAMC_SYNTAX_ERROR;
    return Next();
  }

  static int Prec(Tok t, char c) {
    switch (t) {
      case TK_OR: return 1;
      case TK_AND: return 2;
      case TK_EQ: case TK_NE: return 6;
      case TK_GE: case TK_LE: return 7;
      case TK_SHL: case TK_SHR: return 8;
      case TK_CHAR:
        switch (c) {
          case '|': return 3;
          case '^': return 4;
          case '&': return 5;
          case '<': case '>': return 7;
          case '+': case '-': return 9;
          case '*': case '/': case '%': return 10;
        }
        return -1;
      default: return -1;
    }
  }

  int Binary(int minPrec, Val* out) {
    if (++depth_ > kMaxDepth) return JAMC_SYNTAX_ERROR;
    Val lhs;
    if (int rc = Unary(&lhs)) return rc;
    for (;;) {
      int prec = Prec(tok_, ch_);
      if (prec < 0 || prec < minPrec) break;
      Tok op = tok_;
      char opc = ch_;
      if (int rc = Next()) return rc;
      Val rhs;
      if (int rc = Binary(prec + 1, &rhs)) return rc;
      if (int rc = Apply(op, opc, lhs, rhs, &lhs)) return rc;
    }
    --depth_;
    *out = lhs;
    return 0;
  }

  static int Apply(Tok op, char c, const Val& l, const Val& r, Val* out) {
    Val v;
    if (op == TK_AND || op == TK_OR) {
      if (!BoolClass(l.t) || !BoolClass(r.t)) return JAMC_TYPE_MISMATCH;
      v.t = T_BOOL;
      v.v = op == TK_AND ? (l.v && r.v) : (l.v || r.v);
      *out = v;
      return 0;
    }
    if (op == TK_EQ || op == TK_NE) {
      bool eq;
      if (IntClass(l.t) && IntClass(r.t))
        eq = l.v == r.v;
      else if (BoolClass(l.t) && BoolClass(r.t))
        eq = (l.v != 0) == (r.v != 0);
      else
        return JAMC_TYPE_MISMATCH;
      v.t = T_BOOL;
      v.v = (op == TK_EQ) == eq;
      *out = v;
      return 0;
    }
    if (!IntClass(l.t) || !IntClass(r.t)) return JAMC_TYPE_MISMATCH;
    int64_t a = l.v, b = r.v, res = 0;
    v.t = T_INT;
    switch (op) {
      case TK_GE: v.t = T_BOOL; res = a >= b; break;
      case TK_LE: v.t = T_BOOL; res = a <= b; break;
      case TK_SHL: res = static_cast<int32_t>(static_cast<uint32_t>(l.v) << (r.v & 31)); break;
      case TK_SHR: res = l.v >> (r.v & 31); break;
      default:
        switch (c) {
          case '<': v.t = T_BOOL; res = a < b; break;
          case '>': v.t = T_BOOL; res = a > b; break;
          case '+': res = a + b; break;
          case '-': res = a - b; break;
          case '*': res = a * b; break;
          case '/':
          case '%':
            if (b == 0) return JAMC_DIVIDE_BY_ZERO;
            if (a == INT32_MIN && b == -1) return JAMC_INTEGER_OVERFLOW;
            res = c == '/' ? a / b : a % b;
            if (c == '/') {
              v.kind = NK_DIV;
              v.a = l.v;
              v.b = r.v;
            }
            break;
          case '&': res = a & b; break;
          case '^': res = a ^ b; break;
          case '|': res = a | b; break;
          default: return JAMC_SYNTAX_ERROR;
        }
    }
    if (res > INT32_MAX || res < INT32_MIN) return JAMC_INTEGER_OVERFLOW;
    v.v = static_cast<int32_t>(res);
    *out = v;
    return 0;
  }

  int Unary(Val* out) {
    if (tok_ == TK_CHAR && (ch_ == '+' || ch_ == '-' || ch_ == '!' || ch_ == '~')) {
      char op = ch_;
      if (++depth_ > kMaxDepth) return JAMC_SYNTAX_ERROR;
      if (int rc = Next()) return rc;
      Val x;
      if (int rc = Unary(&x)) return rc;
      --depth_;
      Val v;
      if (op == '+') {
        v.v = x.v;
        v.t = x.t;
      } else if (op == '!') {
        if (!BoolClass(x.t)) return JAMC_TYPE_MISMATCH;
        v.t = T_BOOL;
        v.v = x.v == 0;
      } else {
        if (!IntClass(x.t)) return JAMC_TYPE_MISMATCH;
        v.t = T_INT;
        if (op == '-') {
          if (x.v == INT32_MIN) return JAMC_INTEGER_OVERFLOW;
          v.v = -x.v;
        } else {
          v.v = ~x.v;
        }
      }
      *out = v;
      return 0;
    }
    return Primary(out);
  }

  int Function(Tok f, Val* out) {
    if (int rc = Next()) return rc;
    if (int rc = Expect('(')) return rc;
    Val x;
    if (f == TK_INTEGER) {
      if (int rc = IntegerOperand(&x)) return rc;
    } else if (int rc = Binary(0, &x)) {
      return rc;
    }
    if (int rc = Expect(')')) return rc;
    if (f == TK_INTEGER) {
      *out = x;
      return 0;
    }
    if (!IntClass(x.t)) return JAMC_TYPE_MISMATCH;
    Val v;
    v.t = T_INT;
    switch (f) {
      case TK_ABS:
        if (x.v == INT32_MIN) return JAMC_INTEGER_OVERFLOW;
        v.v = x.v < 0 ? -x.v : x.v;
        break;
      case TK_LOG2: {
        if (x.v <= 0) return JAMC_INTEGER_OVERFLOW;
        int n = 0;
        while ((int64_t{1} << n) < x.v) ++n;
        v.v = n;
        v.kind = NK_LOG2;
        v.a = x.v;
        break;
      }
      case TK_SQRT: {
        if (x.v < 0) return JAMC_INTEGER_OVERFLOW;
        int64_t r = 0;
        while ((r + 1) * (r + 1) <= x.v) ++r;
        v.v = static_cast<int32_t>(r);
        v.kind = NK_SQRT;
        v.a = x.v;
        break;
      }
      case TK_CEIL:
        v.v = x.v;
        if (x.kind == NK_DIV) {
          // Round up only when the exact quotient lies above the truncated one: a negative
          // quotient truncated toward zero is already its ceiling.
          int64_t q = x.v;
          if (q * x.b != x.a && ((x.a < 0) == (x.b < 0))) v.v = x.v + 1;
        } else if (x.kind == NK_SQRT) {
          if (static_cast<int64_t>(x.v) * x.v < x.a) v.v = x.v + 1;
        }
        break;
      case TK_FLOOR:
        v.v = x.v;
        if (x.kind == NK_LOG2) {
          if (x.a & (x.a - 1)) v.v = x.v - 1;
        } else if (x.kind == NK_DIV) {
          // A negative quotient truncated toward zero lies above its floor.
          int64_t q = x.v;
          if (q * x.b != x.a && ((x.a < 0) != (x.b < 0))) v.v = x.v - 1;
        }
        break;
      default:
        return JAMC_INTERNAL_ERROR;
    }
    *out = v;
    return 0;
  }

  // INTEGER ( V ): a radix-prefixed expression or a range of a Boolean array.
  int IntegerOperand(Val* out) {
    if (IsChar('#') || IsChar('$')) {
      if (int rc = Next()) return rc;
      Val x;
      if (int rc = Binary(0, &x)) return rc;
      if (!IntClass(x.t)) return JAMC_TYPE_MISMATCH;
      out->v = x.v;
      out->t = T_INT;
      return 0;
    }
    if (tok_ != TK_ARRAY) return JAMC_SYNTAX_ERROR;
    Symbol* s = sym_;
    if (s->kind != SK_BOOL_ARRAY && s->kind != SK_BOOL_ARRAY_CONST) return JAMC_TYPE_MISMATCH;
    if (!s->heap) return JAMC_INTERNAL_ERROR;
    if (int rc = Next()) return rc;
    if (int rc = Expect('[')) return rc;
    uint32_t bits = 0;
    int32_t count = s->heap->count;
    if (IsChar(']')) {
      for (int32_t i = 0; i < count && i < 32; ++i)
        if (s->heap->Bit(i)) bits |= 1u << i;
    } else {
      Val a, b;
      if (int rc = Binary(0, &a)) return rc;
      if (tok_ != TK_RANGE) return JAMC_SYNTAX_ERROR;
      if (int rc = Next()) return rc;
      if (int rc = Binary(0, &b)) return rc;
      if (!IntClass(a.t) || !IntClass(b.t)) return JAMC_TYPE_MISMATCH;
      if (a.v < 0 || a.v >= count || b.v < 0 || b.v >= count) return JAMC_BOUNDS_ERROR;
      int dir = a.v >= b.v ? 1 : -1;
      int n = 0;
      for (int32_t i = b.v;; i += dir) {
        if (n < 32 && s->heap->Bit(i)) bits |= 1u << n;
        ++n;
        if (i == a.v) break;
      }
    }
    if (int rc = Expect(']')) return rc;
    out->v = static_cast<int32_t>(bits);
    out->t = T_INT;
    return 0;
  }

  int Primary(Val* out) {
    if (++depth_ > kMaxDepth) return JAMC_SYNTAX_ERROR;
    int rc = 0;
    switch (tok_) {
      case TK_NUM:
        *out = val_;
        rc = Next();
        break;
      case TK_ABS: case TK_INTEGER: case TK_LOG2: case TK_SQRT: case TK_CEIL: case TK_FLOOR:
        rc = Function(tok_, out);
        break;
      case TK_ARRAY: {
        Symbol* s = sym_;
        if ((rc = Next())) return rc;
        if ((rc = Expect('['))) return rc;
        Val idx;
        if ((rc = Binary(0, &idx))) return rc;
        if ((rc = Expect(']'))) return rc;
        if (!IntClass(idx.t)) return JAMC_TYPE_MISMATCH;
        if (!s->heap) return JAMC_INTERNAL_ERROR;
        if (idx.v < 0 || idx.v >= s->heap->count) return JAMC_BOUNDS_ERROR;
        *out = Val();
        if (s->kind == SK_INT_ARRAY) {
          out->v = s->heap->ints[static_cast<size_t>(idx.v)];
          out->t = T_INT;
        } else {
          out->v = s->heap->Bit(idx.v);
          out->t = T_BOOL;
        }
        break;
      }
      case TK_CHAR:
        if (ch_ == '(') {
          if ((rc = Next())) return rc;
          if ((rc = Binary(0, out))) return rc;
          rc = Expect(')');
          break;
        }
        return JAMC_SYNTAX_ERROR;
      default:
        return JAMC_SYNTAX_ERROR;
    }
    --depth_;
    return rc;
  }

  Player& p_;
  std::string_view s_;
  size_t pos_ = 0;
  Tok tok_ = TK_END;
  char ch_ = 0;
  Val val_;
  Symbol* sym_ = nullptr;
  int radix_ = 10;
  int depth_ = 0;
};

}  // namespace

int Player::Evaluate(std::string_view text, ExprResult* out) {
  Evaluator e(*this, Trim(text));
  return e.Run(out);
}

int Player::EvalInt(std::string_view text, int32_t* out) {
  ExprResult r;
  if (int rc = Evaluate(text, &r)) return rc;
  if (r.type == T_BOOL) return JAMC_TYPE_MISMATCH;
  *out = r.value;
  return 0;
}

int Player::EvalBool(std::string_view text, int32_t* out) {
  ExprResult r;
  if (int rc = Evaluate(text, &r)) return rc;
  if (r.type == T_INT) return JAMC_TYPE_MISMATCH;
  *out = r.value != 0;
  return 0;
}

}  // namespace jam
}  // namespace lx
