#include <gtest/gtest.h>

#include "blockdev.h"
#include "testdisk.h"

using namespace lxvd;

namespace {

std::vector<uint8_t> ImageOf(size_t deviceBytes, std::initializer_list<PartitionRecord> parts) {
    std::vector<uint8_t> img(deviceBytes + 32, 0);
    PartitionRecord all[4] = {{kUnusedPartition, kUnusedPartition}, {kUnusedPartition, kUnusedPartition},
                              {kUnusedPartition, kUnusedPartition}, {kUnusedPartition, kUnusedPartition}};
    int i = 0;
    for (auto& p : parts) all[i++] = p;
    for (int k = 0; k < 4; ++k)
        for (int b = 0; b < 4; ++b) {
            img[deviceBytes + 8 * k + b] = static_cast<uint8_t>(all[k].offset >> (8 * b));
            img[deviceBytes + 8 * k + 4 + b] = static_cast<uint8_t>(all[k].size >> (8 * b));
        }
    return img;
}

struct Dev {
    MemoryStorage* mem;
    ImageDevice image;
    BlockDeviceRecord rec;
    explicit Dev(std::vector<uint8_t> bytes)
        : mem(new MemoryStorage(std::move(bytes))), image(std::unique_ptr<ImageStorage>(mem)) {
        image.Register(&rec);
    }
    int Open() {
        int rc = rec.control(&rec, kCtlOpen);
        return rc ? rc : rec.control(&rec, kCtlGeometry);
    }
};

}  // namespace

TEST(ImageDevice, GeometryAndBounds) {
    Dev tiny(ImageOf(0, {}));
    ASSERT_EQ(0, tiny.Open());
    EXPECT_EQ(0u, tiny.rec.sectorCount);
    uint8_t s[1024];
    EXPECT_EQ(-6, tiny.rec.read(&tiny.rec, 0, s, 1));

    Dev d(ImageOf(1048576, {{0, 1048576}}));
    ASSERT_EQ(0, d.Open());
    EXPECT_EQ(2048u, d.rec.sectorCount);
    EXPECT_EQ(2047u, d.rec.lastSector);
    EXPECT_EQ(256u, d.rec.alignment);
    EXPECT_EQ(0, d.rec.read(&d.rec, 2047, s, 1));
    EXPECT_EQ(-6, d.rec.read(&d.rec, 2047, s, 2));
    EXPECT_EQ(-6, d.rec.write(&d.rec, 2048, s, 1));
    EXPECT_EQ(-4, d.rec.control(&d.rec, 9));
    EXPECT_EQ(1048576u, d.image.partition(0).size);
    EXPECT_FALSE(d.image.partition(1).used());

    ASSERT_EQ(0, d.rec.erase(&d.rec, 10, 3));
    size_t ff = 0;
    for (size_t i = 0; i < 1048576; ++i) ff += d.mem->bytes()[i] == 0xFF;
    EXPECT_EQ(3u * 512, ff);

    ImageDevice img{std::unique_ptr<ImageStorage>(new MemoryStorage())};
    BlockDeviceRecord r;
    img.Register(&r);
    EXPECT_EQ(-6, r.control(&r, kCtlOpen));
    EXPECT_EQ(-4, img.Register(nullptr));
}

TEST(ImageDevice, LowLevelFormatEditsInPlace) {
    /* partition b holds data; a new partition a goes before it */
    auto bytes = ImageOf(4 << 20, {{kUnusedPartition, kUnusedPartition}, {2 << 20, 1 << 20}});
    for (size_t i = 0; i < 512; ++i) bytes[i] = 0x11;                /* sector 0 */
    for (size_t i = 1 << 20; i < (2u << 20); ++i) bytes[i] = 0x22;   /* outside every partition */
    for (size_t i = 2 << 20; i < (3u << 20); ++i) bytes[i] = 0x33;   /* partition b */
    Dev d(bytes);
    ASSERT_EQ(0, d.image.LowLevelFormat(0, 0, 1 << 20));
    auto& img = d.mem->bytes();
    ASSERT_EQ((4u << 20) + 32, img.size());  /* not cut down to the furthest partition */
    EXPECT_EQ(0x11, img[511]);
    EXPECT_EQ(0x00, img[512]);
    EXPECT_EQ(0x00, img[(1 << 20) - 1]);
    EXPECT_EQ(0x22, img[1 << 20]);
    EXPECT_EQ(0x33, img[(3 << 20) - 1]);
    EXPECT_EQ(0u, d.image.partition(0).offset);
    EXPECT_EQ(1u << 20, d.image.partition(0).size);
    EXPECT_EQ(2u << 20, d.image.partition(1).offset);

    /* overlapping another partition, or past what the trailer can say: refused, nothing changed */
    const auto before = img;
    EXPECT_EQ(-4, d.image.LowLevelFormat(2, (2 << 20) + 512, 4096));
    EXPECT_EQ(-4, d.image.LowLevelFormat(3, 0xFFFFF000u, 0x2000));
    EXPECT_EQ(-4, d.image.LowLevelFormat(4, 0, 512));
    EXPECT_EQ(before, img);

    /* growing: the trailer moves to the new end, the old one reads as zeros */
    ASSERT_EQ(0, d.image.LowLevelFormat(2, 5 << 20, 1 << 20));
    ASSERT_EQ((6u << 20) + 32, img.size());
    for (size_t i = 4 << 20; i < (4u << 20) + 32; ++i) ASSERT_EQ(0, img[i]);
    EXPECT_EQ(5u << 20, d.image.partition(2).offset);
}

TEST(ImageDevice, FirstLowLevelFormatCreatesTheImage) {
    MemoryStorage* mem = new MemoryStorage();
    ImageDevice image{std::unique_ptr<ImageStorage>(mem)};
    ASSERT_EQ(0, image.LowLevelFormat(0, 0, 0));
    ASSERT_EQ(32u, mem->bytes().size());
    EXPECT_EQ(0u, image.partition(0).offset);
    EXPECT_EQ(0u, image.partition(0).size);
    EXPECT_FALSE(image.partition(1).used());
}
