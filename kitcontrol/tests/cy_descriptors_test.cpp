// Configuration descriptors from a device: what the device classes build, and tables they refuse.
#include <gtest/gtest.h>

#include "cy_descriptors.h"

using namespace tarn;

namespace {

std::vector<uint8_t> Config(std::vector<uint8_t> body) {
    std::vector<uint8_t> d = {9, 2, 0, 0, 1, 1, 0, 0x80, 50};
    d.insert(d.end(), body.begin(), body.end());
    d[2] = static_cast<uint8_t>(d.size());
    d[3] = static_cast<uint8_t>(d.size() >> 8);
    return d;
}

TEST(CyDescriptors, InterfacesEndpointsAndAlternateSettings) {
    auto d = Config({9, 4, 0, 0, 2, 0xFF, 0, 0, 0,
                     7, 5, 0x81, 2, 0x00, 0x02, 0,
                     5, 0x24, 1, 2, 3,                 // class-specific, passed over
                     7, 5, 0x02, 2, 0x00, 0x02, 0,
                     9, 4, 0, 1, 1, 0xFF, 0, 0, 0,     // alternate setting 1 of interface 0
                     7, 5, 0x83, 1, 0x00, 0x14, 1,     // iso, 1024 × 3 transactions
                     9, 4, 1, 0, 0, 0xFF, 0, 0, 0});
    ConfigDescriptor c;
    std::string error;
    ASSERT_TRUE(ParseConfigDescriptor(d.data(), d.size(), false, &c, &error)) << error;
    ASSERT_EQ(c.interfaces.size(), 3u);
    EXPECT_EQ(c.interfaces[0].endpoints.size(), 2u);
    EXPECT_EQ(c.interfaces[0].endpoints[1].address, 0x02);
    EXPECT_EQ(c.interfaces[0].totalLength, 9u + 7 + 5 + 7);
    EXPECT_EQ(c.interfaces[0].altSettings, 2);
    EXPECT_EQ(c.interfaces[1].altSettings, 2);
    EXPECT_EQ(c.interfaces[2].altSettings, 1);
    EXPECT_EQ(c.interfaces[1].endpoints[0].MaxPacketSize(), 1024u * 3);
}

TEST(CyDescriptors, SuperSpeedCompanionsMultiplyThePacketSize) {
    auto d = Config({9, 4, 0, 0, 1, 0xFF, 0, 0, 0,
                     7, 5, 0x81, 2, 0x00, 0x04, 0,
                     6, 48, 15, 0, 0, 0});
    ConfigDescriptor c;
    ASSERT_TRUE(ParseConfigDescriptor(d.data(), d.size(), true, &c, nullptr));
    EXPECT_EQ(c.interfaces[0].endpoints[0].MaxPacketSize(), 1024u * 16);
    ASSERT_TRUE(ParseConfigDescriptor(d.data(), d.size(), false, &c, nullptr));
    EXPECT_EQ(c.interfaces[0].endpoints[0].MaxPacketSize(), 1024u);
    EXPECT_EQ(ControlPacketSize(0x0200, 64), 64u);
    EXPECT_EQ(ControlPacketSize(0x0300, 9), 512u);
}

TEST(CyDescriptors, RefusesTablesWhoseLengthsCannotBeTrusted) {
    struct Case {
        const char* what;
        std::vector<uint8_t> d;
    } cases[] = {
        {"zero length", Config({9, 4, 0, 0, 1, 0xFF, 0, 0, 0, 0, 5, 0x81, 2, 64, 0, 0})},
        {"length past the end", Config({9, 4, 0, 0, 1, 0xFF, 0, 0, 0, 40, 5, 0x81, 2, 64, 0, 0})},
        {"more endpoints than a device has", Config({9, 4, 0, 0, 32, 0xFF, 0, 0, 0})},
        {"short endpoint", Config({9, 4, 0, 0, 1, 0xFF, 0, 0, 0, 4, 5, 0x81, 2})},
        {"short interface", Config({5, 4, 0, 0, 1})},
        {"total length beyond the data", [] { auto d = Config({}); d[2] = 200; return d; }()},
        {"not a configuration", [] { auto d = Config({}); d[1] = 1; return d; }()},
    };
    for (const auto& c : cases) {
        ConfigDescriptor out;
        std::string error;
        EXPECT_FALSE(ParseConfigDescriptor(c.d.data(), c.d.size(), false, &out, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
}

TEST(CyDescriptors, StopsAfterTooManyForeignDescriptors) {
    std::vector<uint8_t> body = {9, 4, 0, 0, 2, 0xFF, 0, 0, 0, 7, 5, 0x81, 2, 64, 0, 0};
    for (int i = 0; i < 12; ++i) body.insert(body.end(), {3, 0x21, 0});
    body.insert(body.end(), {7, 5, 0x02, 2, 64, 0, 0});
    auto d = Config(body);
    ConfigDescriptor c;
    ASSERT_TRUE(ParseConfigDescriptor(d.data(), d.size(), false, &c, nullptr));
    EXPECT_EQ(c.interfaces[0].endpoints.size(), 1u) << "the second endpoint slot stays empty";
}

}  // namespace
