// The USB device classes against the simulated driver (LX_KITSIM=II,I: a type II kit, then a type I).
#include <gtest/gtest.h>

#include <cstring>

#include "cy_driver.h"
#include "cyapi.h"
#include "lumivex/procaddress.h"
#include "lumivex/prompt.h"

namespace {

const GUID kGuid = {0xAE18AA60, 0x7F6A, 0x11D4, {0x97, 0xDD, 0x00, 0x01, 0x02, 0x29, 0xB9, 0x59}};

bool Command(CCyUSBDevice& dev, UCHAR code, UCHAR* answer) {
    UCHAR packet[64] = {0x81, code};
    LONG n = 64;
    if (!dev.EndPointOf(0x01)->TransferData(packet, n) || n != 64) return false;
    n = 64;
    return dev.EndPointOf(0x81)->TransferData(answer, n) && n == 64;
}

TEST(CyUsbDevice, EnumeratesAndDescribesTheKits) {
    CCyUSBDevice dev(nullptr, kGuid, false);
    ASSERT_EQ(dev.DeviceCount(), 2);
    EXPECT_FALSE(dev.OpenDevice(2)) << "an index equal to the count";
    EXPECT_FALSE(dev.IsOpen());
    ASSERT_TRUE(dev.OpenDevice(1));
    EXPECT_EQ(dev.VendorID, 0x1A6A);
    EXPECT_EQ(dev.ProductID, 0x0100);
    EXPECT_STREQ(dev.DevPath, "\\\\?\\usb#vid_1a6a&pid_0100#4c580002#{ae18aa60-7f6a-11d4-97dd-00010229b959}");
    EXPECT_EQ(dev.MaxPacketSize, 64u);
    EXPECT_EQ(std::wstring(dev.Manufacturer), L"Lumivex");
    EXPECT_EQ(std::wstring(dev.SerialNumber), L"4C580002");
    EXPECT_TRUE(dev.bHighSpeed);
    ASSERT_EQ(dev.EndPointCount(), 5);
    const UCHAR expect[] = {0x00, 0x01, 0x81, 0x02, 0x86};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(dev.EndPoints[i]->Address, expect[i]);
    EXPECT_EQ(dev.BulkInEndPt->Address, 0x81);
    EXPECT_EQ(dev.BulkOutEndPt->Address, 0x01);
    EXPECT_EQ(dev.EndPointOf(0x86)->MaxPktSize, 512u);
    ASSERT_TRUE(dev.OpenDevice(0)) << "opening another closes the first";
    EXPECT_EQ(dev.ProductID, 0x0103);
    dev.CloseDevice();
    EXPECT_EQ(dev.EndPointCount(), 0);
}

TEST(CyUsbDevice, TransfersCompleteAndTimeOutsAbort) {
    CCyUSBDevice dev(nullptr, kGuid, true);
    ASSERT_TRUE(dev.IsOpen());
    UCHAR answer[64] = {};
    ASSERT_TRUE(Command(dev, 4, answer));
    EXPECT_EQ(answer[0], 0x80);
    EXPECT_EQ(answer[1], 4);
    EXPECT_EQ(answer[3], 0x80);

    // Nothing waits on 0x81: the read is aborted after its time-out and fails with no bytes.
    CCyUSBEndPoint* in = dev.EndPointOf(0x81);
    in->TimeOut = 100;
    LONG n = 64;
    EXPECT_FALSE(in->TransferData(answer, n));
    EXPECT_EQ(n, 0);
    EXPECT_EQ(in->NtStatus, 0xC0000120u);
    ASSERT_TRUE(Command(dev, 7, answer)) << "the pipe works again";
    EXPECT_EQ(answer[1], 7);

    // Buffered transfers carry the data inside the request.
    in->bDirect = false;
    dev.EndPointOf(0x01)->bDirect = false;
    ASSERT_TRUE(Command(dev, 4, answer));
    EXPECT_EQ(answer[19], 0x05);
    EXPECT_TRUE(in->ResetPipe());
    EXPECT_TRUE(in->AbortPipe());
}

TEST(CyUsbDevice, BrokenDescriptorTablesFailTheOpenWithTheirMessage) {
    auto set = LxGetProc<int (*)(int, const void*, unsigned)>(GetModuleHandleA("LxKitSim.dll"),
                                                              "LxKitSimSetConfigDescriptor");
    ASSERT_NE(CyDriver(), nullptr);
    ASSERT_NE(set, nullptr);
    const UCHAR zeroLength[] = {9, 2, 16, 0, 1, 1, 0, 0x80, 50, 0, 4, 0, 0, 1, 0xFF, 0};
    const UCHAR tooManyEndpoints[] = {9, 2, 18, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 40, 0xFF, 0, 0, 0};
    for (auto* table : {zeroLength, tooManyEndpoints}) {
        ASSERT_EQ(set(1, table, table[2]), 0);
        LxPromptTestBegin();
        CCyUSBDevice dev(nullptr, kGuid, false);
        EXPECT_FALSE(dev.OpenDevice(1));
        EXPECT_FALSE(dev.IsOpen());
        ASSERT_EQ(LxPromptRecordCount(), 1);
        EXPECT_STREQ(LxPromptRecordText(0), "Please correct firmware descriptor table");
        EXPECT_STREQ(LxPromptRecordCaption(0), "Wrong Device Configuration");
        LxPromptTestEnd();
    }
}

}  // namespace
