// Symbol table, heap records, control stack, init list and Boolean array arguments.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "jam_internal.h"

namespace lx {
namespace jam {

bool IsBlank(int c) { return c == ' ' || (c >= 9 && c <= 13); }
bool IsIdentChar(int c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && IsBlank(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

static unsigned Bucket(std::string_view name) {
  uint32_t h = 0;
  for (size_t i = 0; i < name.size() && i < 32; ++i)
    h = 2u * h + static_cast<uint32_t>(static_cast<unsigned char>(name[i]) % 32u);
  return h % kBuckets;
}

Player::~Player() = default;

int Player::ChargeHeap(size_t bytes) {
  if (bytes > limits_.heapLimit || heapBytes_ > limits_.heapLimit - bytes)
    return JAMC_OUT_OF_MEMORY;
  heapBytes_ += bytes;
  return 0;
}

Symbol* Player::FindRaw(std::string_view name) const {
  if (buckets_.empty()) return nullptr;
  for (Symbol* s = buckets_[Bucket(name)]; s; s = s->next)
    if (s->name == name) return s;
  return nullptr;
}

static bool ValidName(std::string_view name) {
  if (name.empty() || name.size() > static_cast<size_t>(kMaxName)) return false;
  for (char c : name)
    if (!IsIdentChar(static_cast<unsigned char>(c))) return false;
  return true;
}

int Player::Define(SymKind kind, std::string_view name, int32_t value, int32_t position,
                   Symbol** out, Symbol* owner) {
  if (!ValidName(name)) return JAMC_ILLEGAL_SYMBOL;
  if (Symbol* s = FindRaw(name)) {
    if (s->position != position) return JAMC_REDEFINED_SYMBOL;
    bool agree = s->kind == kind ||
                 // A Boolean array declared with initial data has turned constant; running
                 // its declaration again (a loop, a second call) simply declares it again.
                 (kind == SK_BOOL_ARRAY && s->kind == SK_BOOL_ARRAY_CONST);
    if (!agree) return JAMC_REDEFINED_SYMBOL;
    bool isBlock = s->kind == SK_PROC || s->kind == SK_DATA;
    if (version_ == 1 || (version_ == 2 && !isBlock && block_ && block_->kind == SK_PROC)) {
      s->value = value;
      if (s->kind != SK_PROC && s->kind != SK_DATA) s->heap = nullptr;
      if (kind == SK_BOOL_ARRAY) s->kind = SK_BOOL_ARRAY;
    }
    if (out) *out = s;
    return 0;
  }
  if (version_ == 1 && (kind == SK_INT || kind == SK_BOOL)) {
    int32_t v;
    if (InitValue(name, &v)) value = kind == SK_BOOL ? (v != 0) : v;
  }
  if (int rc = ChargeHeap(sizeof(Symbol) + name.size())) return rc;
  if (buckets_.empty()) buckets_.assign(kBuckets, nullptr);
  auto sym = std::make_unique<Symbol>();
  sym->name = std::string(name);
  sym->kind = kind;
  sym->value = value;
  sym->position = position;
  // Procedures and data blocks belong to the program, not to the block that happened to be
  // running when a forward search declared them.
  sym->owner = (kind == SK_PROC || kind == SK_DATA) ? nullptr : owner;
  Symbol** link = &buckets_[Bucket(name)];
  while (*link) link = &(*link)->next;
  *link = sym.get();
  if (out) *out = sym.get();
  symbols_.push_back(std::move(sym));
  return 0;
}

bool Player::UsesListContains(Symbol* block, std::string_view name) const {
  if (!block || block->kind != SK_PROC || !block->heap) return false;
  const std::string& t = block->heap->text;
  size_t i = 0;
  while (i < t.size()) {
    while (i < t.size() && !IsIdentChar(static_cast<unsigned char>(t[i]))) ++i;
    size_t b = i;
    while (i < t.size() && IsIdentChar(static_cast<unsigned char>(t[i]))) ++i;
    if (i > b && name.size() == i - b) {
      bool eq = true;
      for (size_t k = 0; k < name.size(); ++k)
        if (std::toupper(static_cast<unsigned char>(t[b + k])) !=
            std::toupper(static_cast<unsigned char>(name[k])))
          eq = false;
      if (eq) return true;
    }
  }
  return false;
}

int Player::Lookup(std::string_view name, Symbol** out) {
  Symbol* s = FindRaw(name);
  if (!s) return JAMC_UNDEFINED_SYMBOL;
  if (version_ == 2 && s->owner && s->owner != block_ && s != block_) {
    bool exempt = resolvingUses_ && (s->kind == SK_PROC || s->kind == SK_DATA);
    bool visible = UsesListContains(block_, s->owner->name) ||
                   (s->kind == SK_PROC && UsesListContains(block_, s->name));
    if (!exempt && !visible) return JAMC_SCOPE_ERROR;
  }
  *out = s;
  return 0;
}

int Player::AllocHeap(Symbol* sym, int32_t count, HeapRec** out) {
  if (count < 0) return JAMC_BOUNDS_ERROR;
  auto rec = std::make_unique<HeapRec>();
  rec->owner = sym;
  rec->count = count;
  size_t bytes;
  if (sym->kind == SK_INT_ARRAY) {
    bytes = static_cast<size_t>(count) * 4u;
    if (int rc = ChargeHeap(bytes)) return rc;
    rec->ints.assign(static_cast<size_t>(count), 0);
  } else if (sym->kind == SK_BOOL_ARRAY || sym->kind == SK_BOOL_ARRAY_CONST) {
    bytes = (static_cast<size_t>(count) + 31u) / 32u * 4u;
    if (int rc = ChargeHeap(bytes)) return rc;
    rec->words.assign((static_cast<size_t>(count) + 31u) / 32u, 0u);
  } else {
    return JAMC_INTERNAL_ERROR;
  }
  sym->heap = rec.get();
  if (out) *out = rec.get();
  heap_.push_back(std::move(rec));
  return 0;
}

int Player::AllocText(Symbol* sym, std::string_view text) {
  if (sym->kind != SK_PROC) return JAMC_INTERNAL_ERROR;
  if (int rc = ChargeHeap(text.size() + 8)) return rc;
  auto rec = std::make_unique<HeapRec>();
  rec->owner = sym;
  rec->count = static_cast<int32_t>(text.size());
  rec->text = std::string(text);
  sym->heap = rec.get();
  heap_.push_back(std::move(rec));
  return 0;
}

// ---- control stack: strictly last in, first out
int Player::PushLoop(Symbol* it, int32_t pos, int32_t end, int32_t step) {
  if (depth_ >= kStackSize) return JAMC_OUT_OF_MEMORY;
  stack_[depth_] = StackEntry{SE_LOOP, it, pos, end, step, 0};
  ++depth_;
  return 0;
}
int Player::PushValue(int32_t v) {
  if (depth_ >= kStackSize) return JAMC_OUT_OF_MEMORY;
  stack_[depth_] = StackEntry{SE_VALUE, nullptr, 0, 0, 0, v};
  ++depth_;
  return 0;
}
int Player::PushReturn(int32_t pos) {
  if (depth_ >= kStackSize) return JAMC_OUT_OF_MEMORY;
  stack_[depth_] = StackEntry{SE_RETURN, nullptr, pos, 0, 0, 0};
  ++depth_;
  return 0;
}
StackEntry* Player::Top() { return depth_ ? &stack_[depth_ - 1] : nullptr; }
int Player::Pop() {
  if (!depth_) return JAMC_OUT_OF_MEMORY;
  stack_[--depth_] = StackEntry{};
  return 0;
}

bool Player::InitValue(std::string_view name, int32_t* value) const {
  for (const std::string& e : initList_) {
    size_t i = 0;
    std::string key;
    while (i < e.size() && IsIdentChar(static_cast<unsigned char>(e[i])))
      key.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(e[i++]))));
    if (key != name) continue;
    while (i < e.size() && IsBlank(static_cast<unsigned char>(e[i]))) ++i;
    if (i >= e.size() || e[i] != '=') return false;
    ++i;
    while (i < e.size() && IsBlank(static_cast<unsigned char>(e[i]))) ++i;
    bool neg = false;
    if (i < e.size() && e[i] == '-') neg = true, ++i;
    if (i >= e.size() || !std::isdigit(static_cast<unsigned char>(e[i]))) return false;
    int64_t v = 0;
    while (i < e.size() && std::isdigit(static_cast<unsigned char>(e[i]))) {
      v = v * 10 + (e[i++] - '0');
      if (v > 0x7FFFFFFF) v = 0x7FFFFFFF;
    }
    *value = static_cast<int32_t>(neg ? -v : v);
    return true;
  }
  return false;
}

// ---- literals

static int Base64Digit(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 36;
  if (c == '_') return 62;
  if (c == '@') return 63;
  return -1;
}

static uint32_t TakeBits(const std::vector<uint8_t>& in, size_t& pos, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i, ++pos) v |= static_cast<uint32_t>((in[pos >> 3] >> (pos & 7)) & 1u) << i;
  return v;
}

int Player::Decompress(const std::vector<uint8_t>& in, size_t inBits, size_t pos, int window,
                       std::vector<uint8_t>* out, uint32_t expectLen) {
  if (int rc = ChargeHeap(expectLen)) return rc;
  out->clear();
  out->reserve(expectLen);
  while (out->size() < expectLen) {
    if (pos + 1 > inBits) return JAMC_SYNTAX_ERROR;
    if (TakeBits(in, pos, 1)) {
      uint32_t w = static_cast<uint32_t>(std::min<size_t>(out->size(), static_cast<size_t>(window)));
      int width = 1;
      while (width < 32 && (w >> width)) ++width;
      if (pos + static_cast<size_t>(width) + 8 > inBits) return JAMC_SYNTAX_ERROR;
      uint32_t offset = TakeBits(in, pos, width);
      uint32_t len = TakeBits(in, pos, 8);
      // A reference must point into what has been written, within the window.
      if (offset == 0 || offset > w) return JAMC_BOUNDS_ERROR;
      // Makers' tools end a stream with a reference that runs past the stated length; the
      // stated length is what the data holds, so the copy stops there.
      len = std::min<uint32_t>(len, expectLen - static_cast<uint32_t>(out->size()));
      for (uint32_t k = 0; k < len; ++k) out->push_back((*out)[out->size() - offset]);
    } else {
      for (int k = 0; k < 3 && out->size() < expectLen; ++k) {
        if (pos + 8 > inBits) return JAMC_SYNTAX_ERROR;
        out->push_back(static_cast<uint8_t>(TakeBits(in, pos, 8)));
      }
    }
  }
  return 0;
}

static void PutBit(std::vector<uint32_t>& w, int32_t i, bool v) {
  if (v) w[static_cast<size_t>(i) >> 5] |= 1u << (i & 31);
}

int Player::LiteralBits(char kind, std::string_view digits, std::vector<uint32_t>* bits,
                        int32_t* count) {
  std::string d;
  for (char c : digits)
    if (!IsBlank(static_cast<unsigned char>(c))) d.push_back(c);
  if (kind == '#') {
    for (char c : d)
      if (c != '0' && c != '1') return JAMC_SYNTAX_ERROR;
    if (int rc = ChargeHeap(d.size() / 8 + 4)) return rc;
    int32_t n = static_cast<int32_t>(d.size());
    bits->assign((static_cast<size_t>(n) + 31) / 32, 0u);
    for (int32_t i = 0; i < n; ++i) PutBit(*bits, i, d[static_cast<size_t>(n - 1 - i)] == '1');
    *count = n;
    return 0;
  }
  if (kind == '$') {
    for (char c : d)
      if (!std::isxdigit(static_cast<unsigned char>(c))) return JAMC_SYNTAX_ERROR;
    if (d.size() > 0x1FFFFFFF / 4) return JAMC_BOUNDS_ERROR;
    if (int rc = ChargeHeap(d.size() / 2 + 4)) return rc;
    int32_t n = static_cast<int32_t>(d.size()) * 4;
    bits->assign((static_cast<size_t>(n) + 31) / 32, 0u);
    for (size_t k = 0; k < d.size(); ++k) {
      int c = std::toupper(static_cast<unsigned char>(d[d.size() - 1 - k]));
      int v = c <= '9' ? c - '0' : c - 'A' + 10;
      for (int b = 0; b < 4; ++b) PutBit(*bits, static_cast<int32_t>(k * 4 + b), (v >> b) & 1);
    }
    *count = n;
    return 0;
  }
  if (kind == '@') {
    std::vector<uint8_t> raw((d.size() * 6 + 7) / 8 + 1, 0);
    size_t nbits = 0;
    for (char c : d) {
      int v = Base64Digit(static_cast<unsigned char>(c));
      if (v < 0) return JAMC_SYNTAX_ERROR;
      for (int b = 0; b < 6; ++b, ++nbits)
        if ((v >> b) & 1) raw[nbits >> 3] |= static_cast<uint8_t>(1u << (nbits & 7));
    }
    if (nbits < 32) return JAMC_SYNTAX_ERROR;
    size_t pos = 0;
    uint32_t len = TakeBits(raw, pos, 32);
    if (len > 0x0FFFFFFFu) return JAMC_OUT_OF_MEMORY;
    std::vector<uint8_t> outBytes;
    // Version-1 programs reach back one byte further.
    int window = version_ == 1 ? 8192 : 8191;
    if (int rc = Decompress(raw, nbits, pos, window, &outBytes, len)) return rc;
    bits->assign((outBytes.size() + 3) / 4, 0u);
    for (size_t i = 0; i < outBytes.size(); ++i)
      (*bits)[i / 4] |= static_cast<uint32_t>(outBytes[i]) << (8 * (i % 4));
    *count = static_cast<int32_t>(len * 8);
    return 0;
  }
  return JAMC_SYNTAX_ERROR;
}

int Player::ParseRange(std::string_view inner, Symbol* sym, int32_t* start, int32_t* end) {
  int32_t count = sym->heap ? sym->heap->count : 0;
  inner = Trim(inner);
  size_t dots = inner.find("..");
  if (dots == std::string_view::npos) {
    if (version_ == 2 && inner.empty()) {
      *start = 0;
      *end = count - 1;
      return count > 0 ? 0 : JAMC_BOUNDS_ERROR;
    }
    return JAMC_SYNTAX_ERROR;
  }
  int32_t a, b;
  if (int rc = EvalInt(inner.substr(0, dots), &a)) return rc;
  if (int rc = EvalInt(inner.substr(dots + 2), &b)) return rc;
  if (a < 0 || a >= count || b < 0 || b >= count) return JAMC_BOUNDS_ERROR;
  if (version_ == 2) {
    *start = b;
    *end = a;
  } else {
    *start = a;
    *end = b;
  }
  return 0;
}

int Player::BoolArgument(std::string_view text, BoolArg* out) {
  text = Trim(text);
  *out = BoolArg();
  if (text.empty()) return JAMC_SYNTAX_ERROR;
  char c = text[0];
  bool v2 = version_ != 1;
  if (v2 && (c == '#' || c == '$' || c == '@')) {
    if (int rc = LiteralBits(c, text.substr(1), &out->lit, &out->count)) return rc;
    out->start = 0;
    out->end = out->count - 1;
    return 0;
  }
  if (!v2 && std::isdigit(static_cast<unsigned char>(c))) {
    if (int rc = LiteralBits('$', text, &out->lit, &out->count)) return rc;
    out->start = 0;
    out->end = out->count - 1;
    return 0;
  }
  if (v2 && text.size() >= 5 && text.substr(0, 5) == "BOOL(") {
    if (text.back() != ')') return JAMC_SYNTAX_ERROR;
    ExprResult r;
    if (int rc = Evaluate(text.substr(5, text.size() - 6), &r)) return rc;
    if (r.type == T_BOOL) return JAMC_TYPE_MISMATCH;
    out->lit.assign(1, static_cast<uint32_t>(r.value));
    out->count = 32;
    out->start = 0;
    out->end = 31;
    return 0;
  }
  size_t open = text.find('[');
  if (open == std::string_view::npos) return JAMC_SYNTAX_ERROR;
  size_t close = text.rfind(']');
  if (close == std::string_view::npos) return JAMC_SYNTAX_ERROR;
  if (!Trim(text.substr(close + 1)).empty()) return JAMC_SYNTAX_ERROR;
  Symbol* sym;
  if (int rc = Lookup(Trim(text.substr(0, open)), &sym)) return rc;
  if (sym->kind != SK_BOOL_ARRAY && sym->kind != SK_BOOL_ARRAY_CONST) return JAMC_TYPE_MISMATCH;
  if (!sym->heap) return JAMC_INTERNAL_ERROR;
  out->sym = sym;
  out->count = sym->heap->count;
  return ParseRange(text.substr(open + 1, close - open - 1), sym, &out->start, &out->end);
}

}  // namespace jam
}  // namespace lx
