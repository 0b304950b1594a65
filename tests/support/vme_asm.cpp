#include "vme_asm.h"

#include <cctype>
#include <sstream>

namespace lxtest {
namespace {

int StateNumber(const std::string& s) {
  static const char* const kNames[] = {"RESET", "IDLE", "IRPAUSE", "DRPAUSE", "IRSHIFT", "DRSHIFT", "DRCAPTURE"};
  for (int i = 0; i < 7; ++i)
    if (s == kNames[i]) return i;
  return -1;
}

// Hex written most significant first to bytes with bit i in bit (i % 8) of byte i / 8.
bool HexBytes(const std::string& hex, uint32_t bits, std::vector<uint8_t>* out) {
  out->assign((bits + 7) / 8, 0);
  size_t nibble = 0;
  for (size_t k = hex.size(); k-- > 0;) {
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(hex[k])));
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : c - 'A' + 10;
    for (int b = 0; b < 4; ++b) {
      size_t bit = nibble * 4 + static_cast<size_t>(b);
      if ((v >> b) & 1) {
        if (bit >= out->size() * 8) return false;
        (*out)[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
      }
    }
    ++nibble;
  }
  return true;
}

void Compress(const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
  for (size_t i = 0; i < in.size();) {
    if (in[i] != 0xFF) {
      out->push_back(in[i++]);
      continue;
    }
    size_t run = 0;
    while (i + run < in.size() && in[i + run] == 0xFF && run < 255) ++run;
    out->push_back(0xFF);
    out->push_back(static_cast<uint8_t>(run));
    i += run;
  }
}

}  // namespace

std::vector<uint8_t> VmeNumber(uint32_t v) {
  std::vector<uint8_t> out;
  do {
    uint8_t b = v & 0x7F;
    v >>= 7;
    if (v) b |= 0x80;
    out.push_back(b);
  } while (v);
  return out;
}

VmeImages AssembleVme(const std::string& text, bool compressData) {
  VmeImages img;
  auto& a = img.algorithm;
  auto& d = img.data;
  d.push_back(compressData ? 1 : 0);
  std::istringstream lines(text);
  std::string line;
  bool header = false;
  int lineNo = 0;
  auto fail = [&img, &lineNo](const std::string& why) {
    img.error = "line " + std::to_string(lineNo) + ": " + why;
    return img;
  };
  auto num = [&a](uint32_t v) {
    for (uint8_t b : VmeNumber(v)) a.push_back(b);
  };
  while (std::getline(lines, line)) {
    ++lineNo;
    std::istringstream w(line);
    std::string op;
    if (!(w >> op) || op[0] == '#') continue;
    if (!header && op != "HEADER") {
      for (char c : std::string("_SVME1.2")) a.push_back(static_cast<uint8_t>(c));
      header = true;
    }
    std::string arg;
    if (op == "HEADER") {
      w >> arg;
      for (char c : "_SVME" + arg) a.push_back(static_cast<uint8_t>(c));
      header = true;
    } else if (op == "ENDDR" || op == "ENDIR" || op == "STATE") {
      w >> arg;
      int s = StateNumber(arg);
      if (s < 0) return fail("state " + arg);
      a.push_back(op == "ENDDR" ? 0x02 : op == "ENDIR" ? 0x03 : 0x10);
      a.push_back(static_cast<uint8_t>(s));
    } else if (op == "HIR" || op == "TIR" || op == "HDR" || op == "TDR" || op == "RUNTEST" ||
               op == "TCK" || op == "REPEAT" || op == "LOOPCOUNT") {
      uint32_t v;
      if (!(w >> v)) return fail("number");
      a.push_back(op == "HIR" ? 0x06 : op == "TIR" ? 0x07 : op == "HDR" ? 0x08 : op == "TDR" ? 0x09
                  : op == "RUNTEST" ? 0x1A : op == "TCK" ? 0x1B : op == "REPEAT" ? 0x58 : 0x66);
      num(v);
    } else if (op == "WAITSTEP") {
      a.push_back(0x1C);
      a.push_back(0x00);
    } else if (op == "END") {
      a.push_back(0x7F);
    } else if (op == "ENDLOOP") {
      a.push_back(0x59);
    } else if (op == "LOOPSET") {
      a.push_back(0x67);
      std::string key;
      while (w >> key) {
        if (key == "STATE") {
          w >> arg;
          a.push_back(0x10);
          a.push_back(static_cast<uint8_t>(StateNumber(arg)));
        } else {
          uint32_t v;
          w >> v;
          a.push_back(key == "DELAY" ? 0x1A : 0x1B);
          num(v);
        }
      }
      a.push_back(0x69);
    } else if (op == "LOOPSDR") {
      a.push_back(0x68);
    } else if (op == "DREPEAT") {
      uint32_t v;
      w >> v >> arg;
      a.push_back(0xA0);
      num(v);
      a.push_back(arg == "SAVE" ? 0xA4 : 0xA5);
    } else if (op == "ENDDREPEAT") {
      a.push_back(0xA1);
    } else if (op == "BYTE") {
      unsigned v;
      w >> std::hex >> v;
      a.push_back(static_cast<uint8_t>(v));
    } else if (op == "SIR" || op == "SDR") {
      uint32_t n;
      if (!(w >> n)) return fail("bit count");
      a.push_back(op == "SIR" ? 0x11 : 0x12);
      num(n);
      std::vector<uint8_t> dtdi, dtdo;
      bool haveDtdi = false, haveDtdo = false;
      std::string field;
      while (w >> field) {
        size_t open = field.find('('), close = field.rfind(')');
        if (open == std::string::npos || close == std::string::npos) return fail("field " + field);
        std::string key = field.substr(0, open), hex = field.substr(open + 1, close - open - 1);
        std::vector<uint8_t> bytes;
        if (!HexBytes(hex, n, &bytes)) return fail("hex " + hex);
        if (key == "TDI" || key == "TDO" || key == "MASK") {
          a.push_back(key == "TDI" ? 0x13 : key == "TDO" ? 0x14 : 0x15);
          a.insert(a.end(), bytes.begin(), bytes.end());
        } else if (key == "DTDI") {
          a.push_back(0xA6);
          a.push_back(0xA3);
          dtdi = bytes;
          haveDtdi = true;
        } else if (key == "DTDO") {
          a.push_back(0xA7);
          a.push_back(0xA3);
          dtdo = bytes;
          haveDtdo = true;
        } else {
          return fail("field " + key);
        }
      }
      a.push_back(0x70);
      for (auto* block : {haveDtdi ? &dtdi : nullptr, haveDtdo ? &dtdo : nullptr}) {
        if (!block) continue;
        if (compressData) {
          d.push_back(1);
          Compress(*block, &d);
        } else {
          d.insert(d.end(), block->begin(), block->end());
        }
        d.push_back(0xA2);
      }
    } else {
      return fail("opcode " + op);
    }
  }
  return img;
}

}  // namespace lxtest
