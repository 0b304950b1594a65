// The host side of the JTAG stream byte for byte, and its handling of the kit's messages.
#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "jtag_link.h"

using lx::jtag::JtagLink;
using lx::jtag::kPacketSize;

namespace {

struct ScriptedPipe : lx::jtag::KitPipe {
  std::vector<std::vector<uint8_t>> sent;
  std::deque<std::vector<uint8_t>> replies;
  int reads = 0;
  bool BulkOut(const uint8_t* d, uint32_t n, unsigned) override {
    sent.emplace_back(d, d + n);
    return true;
  }
  bool BulkIn(uint8_t* d, uint32_t* n, unsigned) override {
    ++reads;
    if (replies.empty()) return false;
    std::vector<uint8_t> r = replies.front();
    replies.pop_front();
    *n = static_cast<uint32_t>(std::min<size_t>(r.size(), *n));
    std::copy(r.begin(), r.begin() + *n, d);
    return true;
  }
  void Sleep(unsigned) override {}
  static std::vector<uint8_t> Ready() {
    std::vector<uint8_t> r(10, 0);
    r[0] = 'I';
    return r;
  }
  static std::vector<uint8_t> Answer(std::vector<uint8_t> payload) {
    payload.insert(payload.begin(), 'R');
    payload.resize(kPacketSize, 0);
    return payload;
  }
};

std::vector<uint8_t> Head(const std::vector<uint8_t>& packet, size_t n) {
  return std::vector<uint8_t>(packet.begin(), packet.begin() + n);
}

TEST(JtagLink, ClockAndCaptureBytes) {
  ScriptedPipe pipe;
  JtagLink link(pipe);
  link.SetMode(3);
  EXPECT_EQ(link.JtagIo(1, 0, 0), 0);
  EXPECT_EQ(link.Delay(0x01020304), true);
  pipe.replies.push_back(ScriptedPipe::Answer({1}));
  EXPECT_EQ(link.JtagIo(0, 1, 1), 1);
  ASSERT_EQ(pipe.sent.size(), 1u);
  EXPECT_EQ(pipe.sent[0].size(), kPacketSize);
  EXPECT_EQ(Head(pipe.sent[0], 22), (std::vector<uint8_t>{'I', 0, 'M', 1, 'C', 'D', 1, 2, 3, 4, 'I', 1, 'M', 0,
                                                         'O', 0, 0, 0, 1, 0xFF, 0xFF, 0xFF}));
  // The next packet waits for the kit's ready message first.
  pipe.replies.push_back(ScriptedPipe::Ready());
  link.Append('C');
  EXPECT_TRUE(link.Send());
  EXPECT_EQ(pipe.sent.size(), 2u);
  // Without a ready message nothing goes out and the link reports the failure.
  link.Append('C');
  EXPECT_FALSE(link.Send());
  EXPECT_EQ(pipe.sent.size(), 2u);
  EXPECT_FALSE(link.Ok());
}

TEST(JtagLink, TdoAnswersAreCheckedBeforeUse) {
  ScriptedPipe pipe;
  JtagLink link(pipe);
  // Up to ten other messages are skipped; the eleventh read gives up.
  for (int i = 0; i < 10; ++i) pipe.replies.push_back(ScriptedPipe::Ready());
  pipe.replies.push_back(ScriptedPipe::Answer({0x5A}));
  EXPECT_TRUE(link.ReadTdo(1));
  EXPECT_EQ(link.Tdo()[0], 0x5A);
  for (int i = 0; i < 11; ++i) pipe.replies.push_back(ScriptedPipe::Ready());
  pipe.replies.push_back(ScriptedPipe::Answer({0x5A}));
  EXPECT_FALSE(link.ReadTdo(1));
  // An answer shorter than the capture it should carry is refused.
  ScriptedPipe pipe2;
  JtagLink link2(pipe2);
  pipe2.replies.push_back({'R', 1, 2});
  EXPECT_FALSE(link2.ReadTdo(8));
}

TEST(JtagLink, ShiftsAndCapturesWithPackedTdi) {
  ScriptedPipe pipe;
  JtagLink link(pipe);
  int next = 0;
  EXPECT_TRUE(link.Shift(12, [&next]() { return static_cast<uint8_t>(0xA0 + next++); }));
  pipe.replies.push_back(ScriptedPipe::Answer({0x0F, 0x05}));
  const uint8_t tdi[2] = {0x3C, 0x0A};
  uint8_t tdo[2] = {};
  EXPECT_TRUE(link.CaptureShift(12, tdi, tdo));
  ASSERT_EQ(pipe.sent.size(), 1u);
  EXPECT_EQ(Head(pipe.sent[0], 7 + 7), (std::vector<uint8_t>{'I', 0, 0, 0, 12, 0xA0, 0xA1,
                                                             'O', 0x80, 0, 0, 12, 0x3C, 0x0A}));
  EXPECT_EQ(tdo[0], 0x0F);
  EXPECT_EQ(tdo[1], 0x05);
  // A capture that does not fit behind what is buffered goes out in a packet of its own.
  ScriptedPipe pipe3;
  JtagLink link3(pipe3);
  for (size_t i = 0; i < kPacketSize - 5; ++i) link3.Append('C');
  pipe3.replies.push_back(ScriptedPipe::Answer({0x01}));
  uint8_t one = 1, got = 0;
  EXPECT_TRUE(link3.CaptureShift(8, &one, &got));
  ASSERT_EQ(pipe3.sent.size(), 2u);
  EXPECT_EQ(pipe3.sent[1][0], 'O');
  EXPECT_EQ(link3.Scan(false, 3, 8, &one, &got), 1);  // no such start state
  EXPECT_EQ(link3.Scan(true, -1, 8, &one, &got), 1);
}

}  // namespace
