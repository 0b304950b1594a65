// The simulated driver: enumeration from LX_KITSIM, descriptors, and the life of pending requests.
#include <gtest/gtest.h>

#include <cstring>

#include "kitsim/usb_driver.h"

using namespace kitsim;

namespace {

struct Done : SimCompletion {
    int calls = 0;
    uint32_t count = 0, status = 0;
    void Complete(uint32_t c, uint32_t s) override {
        ++calls;
        count = c;
        status = s;
    }
};

std::vector<uint8_t> Header(uint8_t ep, uint32_t dataLength, uint32_t offset = kHeaderSize) {
    std::vector<uint8_t> h(kHeaderSize + (offset ? dataLength : 0), 0);
    h[kHdrEndpoint] = ep;
    std::memcpy(&h[kHdrDataOffset], &offset, 4);
    std::memcpy(&h[kHdrDataLength], &dataLength, 4);
    return h;
}

TEST(SimUsbDriverSpec, ReadsKitLists) {
    struct Case {
        const char* selection;
        std::vector<uint16_t> products;
        bool ok;
    } cases[] = {
        {"", {}, false},
        {"0", {}, false},
        {"1", {0x0103}, true},
        {"I", {0x0100}, true},
        {"II,I", {0x0103, 0x0100}, true},
        {"1a6a:0200,II", {0x0200, 0x0103}, true},
        {"III", {}, false},
        {"II,", {}, false},
        {"1a6a:01", {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.selection);
        std::string error;
        auto d = SimUsbDriver::FromSelection(c.selection, &error);
        ASSERT_EQ(d != nullptr, c.ok);
        if (!d) continue;
        ASSERT_EQ(d->Count(), c.products.size());
        for (size_t i = 0; i < c.products.size(); ++i) {
            EXPECT_EQ(d->Device(i).KitRef().Identity().productId, c.products[i]);
            EXPECT_EQ(d->Device(i).KitRef().Identity().serial, 0x4C580001u + i);
        }
    }
    auto d = SimUsbDriver::FromSelection("II");
    EXPECT_EQ(d->Device(0).Path(), "\\\\?\\usb#vid_1a6a&pid_0103#4c580001#{ae18aa60-7f6a-11d4-97dd-00010229b959}");
    d = SimUsbDriver::FromSelection("I,II", nullptr, 0x12340000);
    EXPECT_EQ(d->Device(1).KitRef().Identity().serial, 0x12340002u) << "tests running side by side use their own serials";
}

TEST(SimUsbDriver, ControlRequestsAnswerDescriptorsAndStallUnknownVendorRequests) {
    auto d = SimUsbDriver::FromSelection("II");
    uint32_t h = d->Open(d->Device(0).Path());
    ASSERT_NE(h, 0u);
    auto buf = Header(0, 255);
    buf[kHdrRequestType] = 0x80;
    buf[kHdrRequest] = 6;
    buf[kHdrValue + 1] = 2;          // configuration descriptor
    buf[kHdrLength] = 255;
    auto r = d->Ioctl(h, kControl, buf.data(), static_cast<uint32_t>(buf.size()), buf.data(),
                      static_cast<uint32_t>(buf.size()), nullptr);
    ASSERT_EQ(r.kind, IoOutcome::Done);
    EXPECT_EQ(r.count, kHeaderSize + 46);
    EXPECT_EQ(buf[kHeaderSize + 2], 46);
    buf = Header(0, 4);
    buf[kHdrRequestType] = 0x40;
    buf[kHdrRequest] = 0xA0;
    r = d->Ioctl(h, kControl, buf.data(), static_cast<uint32_t>(buf.size()), buf.data(),
                 static_cast<uint32_t>(buf.size()), nullptr);
    EXPECT_EQ(r.kind, IoOutcome::Failed);
    d->Device(0).KitRef().SetVendorRequest(0xA0, [](Kit&, const UsbSetup&, uint8_t*, uint32_t&) { return true; });
    r = d->Ioctl(h, kControl, buf.data(), static_cast<uint32_t>(buf.size()), buf.data(),
                 static_cast<uint32_t>(buf.size()), nullptr);
    EXPECT_EQ(r.kind, IoOutcome::Done);
}

TEST(SimUsbDriver, InTransfersPendUntilAnswerAbortOrClose) {
    auto d = SimUsbDriver::FromSelection("II");
    uint32_t h = d->Open(d->Device(0).Path());
    EXPECT_EQ(d->Open("\\\\?\\usb#nothing"), 0u);

    // A read on 0x81 waits for the answer of the next command.
    std::vector<uint8_t> answer(64);
    auto inHdr = Header(0x81, 64, 0);
    Done inDone;
    auto r = d->Ioctl(h, kDirect, inHdr.data(), kHeaderSize, answer.data(), 64, &inDone);
    ASSERT_EQ(r.kind, IoOutcome::Pending);
    std::vector<uint8_t> cmd(64, 0);
    cmd[0] = 0x81;
    cmd[1] = 4;
    auto outHdr = Header(0x01, 64, 0);
    r = d->Ioctl(h, kDirect, outHdr.data(), kHeaderSize, cmd.data(), 64, nullptr);
    ASSERT_EQ(r.kind, IoOutcome::Done);
    EXPECT_EQ(inDone.calls, 1);
    EXPECT_EQ(inDone.count, 64u);
    EXPECT_EQ(answer[1], 4);

    // Abort completes the pending request as cancelled; so does closing the handle.
    Done aborted;
    r = d->Ioctl(h, kDirect, inHdr.data(), kHeaderSize, answer.data(), 64, &aborted);
    ASSERT_EQ(r.kind, IoOutcome::Pending);
    uint8_t ep = 0x81;
    EXPECT_EQ(d->Ioctl(h, kAbortPipe, &ep, 1, nullptr, 0, nullptr).kind, IoOutcome::Done);
    EXPECT_EQ(aborted.calls, 1);
    EXPECT_EQ(aborted.status, kNtCancelled);
    Done closed;
    auto in86 = Header(0x86, 512);
    r = d->Ioctl(h, kBuffered, in86.data(), static_cast<uint32_t>(in86.size()), in86.data(),
                 static_cast<uint32_t>(in86.size()), &closed);
    ASSERT_EQ(r.kind, IoOutcome::Pending);
    EXPECT_TRUE(d->Close(h));
    EXPECT_EQ(closed.calls, 1);
    EXPECT_EQ(d->PendingCount(), 0u);
    EXPECT_EQ(d->Ioctl(h, kSpeed, nullptr, 0, answer.data(), 4, nullptr).error, kErrInvalidHandle);
}

TEST(SimUsbDriver, BadRequestsFailWithoutTouchingTheKit) {
    auto d = SimUsbDriver::FromSelection("II");
    uint32_t h = d->Open(d->Device(0).Path());
    uint8_t small[2];
    struct Case {
        const char* what;
        uint32_t code;
        std::vector<uint8_t> in;
        uint32_t error;
    } cases[] = {
        {"unknown code", 0x220100, {}, kErrInvalidFunction},
        {"abort of a missing endpoint", kAbortPipe, {0x85}, kErrInvalidParameter},
        {"direct transfer on a missing endpoint", kDirect, Header(0x03, 0, 0), kErrInvalidParameter},
        {"short header", kDirect, std::vector<uint8_t>(10, 0), kErrInvalidParameter},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = d->Ioctl(h, c.code, c.in.data(), static_cast<uint32_t>(c.in.size()), small, 2, nullptr);
        EXPECT_EQ(r.kind, IoOutcome::Failed);
        EXPECT_EQ(r.error, c.error);
    }
    // A buffered header whose data length runs past the buffer is refused.
    auto h2 = Header(0x02, 16);
    uint32_t tooLong = 1000;
    std::memcpy(&h2[kHdrDataLength], &tooLong, 4);
    auto r = d->Ioctl(h, kBuffered, h2.data(), static_cast<uint32_t>(h2.size()), h2.data(),
                      static_cast<uint32_t>(h2.size()), nullptr);
    EXPECT_EQ(r.kind, IoOutcome::Failed);
    EXPECT_EQ(d->Device(0).KitRef().StreamBytes(), 0u);
}

TEST(SimUsbDriver, AnUnpluggedKitFailsEveryRequestUntilPluggedBack) {
    auto d = SimUsbDriver::FromSelection("II");
    uint32_t h = d->Open(d->Device(0).Path());
    uint8_t version[4];
    d->Device(0).SetUnplugged(true);
    auto r = d->Ioctl(h, kDriverVersion, nullptr, 0, version, 4, nullptr);
    EXPECT_EQ(r.kind, IoOutcome::Failed);
    EXPECT_EQ(r.error, kErrDeviceNotConnected);
    auto out = Header(0x02, 2);
    r = d->Ioctl(h, kBuffered, out.data(), static_cast<uint32_t>(out.size()), out.data(),
                 static_cast<uint32_t>(out.size()), nullptr);
    EXPECT_EQ(r.kind, IoOutcome::Failed);
    EXPECT_EQ(d->Device(0).KitRef().StreamBytes(), 0u);
    d->Device(0).SetUnplugged(false);
    r = d->Ioctl(h, kDriverVersion, nullptr, 0, version, 4, nullptr);
    EXPECT_EQ(r.kind, IoOutcome::Done);
}

}  // namespace
