// The test picture generator, and the position-coded picture of the network stream.
#include "EmulatorTestSupport.h"

#include "emulator/TestImage.h"

namespace EmulatorTest {
namespace {

using Bytes = std::vector<uint8_t>;

FrameInfo Layout(uint32_t w, uint32_t h, uint8_t coding, uint8_t depth, uint8_t bpp) {
    return FrameInfo{0x01020304, 0, 0, w, h, coding, depth, bpp, 0, 0, uint64_t(w) * h * bpp};
}

TEST(TestImage, FramesCarryTheirNumberFirstThenTheGradientInTheRequestedOrder) {
    const FrameInfo f = Layout(16, 4, kMono8, 8, 1);
    const Bytes img = RenderFrame(f, SampleOrder::BigEndian);
    ASSERT_EQ(64u, img.size());
    // The frame number first, then the gradient (x + y + number) mod 256.
    EXPECT_EQ((Bytes{1, 2, 3, 4, 5 + 4, 2 + 3 + 4}),
              (Bytes{img[0], img[1], img[2], img[3], img[5], img[3 * 16 + 2]}));

    FrameInfo wide = Layout(8, 2, kMono16, 12, 2);
    wide.number = 4095;
    const Bytes be = RenderFrame(wide, SampleOrder::BigEndian);
    const Bytes le = RenderFrame(wide, SampleOrder::LittleEndian);
    ASSERT_EQ(32u, be.size());
    // Sample 5: (5 + 0 + 4095) & 0xFFF = 4; sample 7 of row 1: 7.
    const size_t i = 2 * (8 + 7);
    EXPECT_EQ((Bytes{0, 4, 4, 0, 0, 7}), (Bytes{be[10], be[11], le[10], le[11], be[i], be[i + 1]}));
    for (size_t k = 0; k < be.size(); k += 2)
        EXPECT_LE(be[k] << 8 | be[k + 1], 4095) << "never above 12 bits";

    Camera cam;
    cam.SetF7(F7::kImageSize, (64u << 16) | 8);
    cam.SetF7(F7::kImagePosition, (100u << 16) | 20);
    cam.SetCmd(Cmd::kOneShot, kOneShotBit);
    const auto frame = cam.space.TakeFrame();
    ASSERT_TRUE(frame.has_value());
    const Bytes aoi = RenderFrame(*frame, SampleOrder::LittleEndian);
    EXPECT_EQ((std::vector<uint64_t>{frame->totalBytes, cam.F7(F7::kTotalBytesLo)}),
              (std::vector<uint64_t>{aoi.size(), aoi.size()}));
    EXPECT_EQ(TestSample(0, 100 + 10, 20 + 2, frame->number, 8), aoi[2 * 64 + 10]);
}

TEST(TestImage, RefusesBuffersAndLayoutsItCannotFill) {
    const FrameInfo f = Layout(16, 4, kMono8, 8, 1);
    uint8_t small[63];
    EXPECT_EQ(0u, RenderFrame(f, SampleOrder::BigEndian, small, sizeof small));
    EXPECT_EQ(0u, RenderFrame(f, SampleOrder::BigEndian, nullptr, 64));
    FrameInfo wrongTotal = f;
    wrongTotal.totalBytes = 65;
    EXPECT_TRUE(RenderFrame(wrongTotal, SampleOrder::BigEndian).empty());
    EXPECT_TRUE(RenderFrame(Layout(0, 4, kMono8, 8, 1), SampleOrder::BigEndian).empty());
    EXPECT_TRUE(RenderFrame(Layout(4, 4, 4 /* RGB8 */, 8, 3), SampleOrder::BigEndian).empty());
}

// The position code where the live picture would be; 16-bit samples little-endian.
TEST(TestImage, TheStreamImageCodesPositionAndFrame) {
    FrameInfo f = Layout(32, 4, kMono16, 12, 2);
    f.number = 0x0A0B0C0D;
    f.left = 8;
    f.top = 2;
    const Bytes img = StreamImage(f);
    ASSERT_EQ(img.size(), 256u);
    EXPECT_EQ((Bytes{0x0A, 0x0D}), (Bytes{img[0], img[6]}));
    const size_t i = 2 * (3 * 32 + 5); // row 3, column 5
    const uint32_t sample = uint32_t(img[i] | img[i + 1] << 8);
    EXPECT_EQ(sample, TestSample(kPositionCodeImage, 8 + 5, 2 + 3, f.number, 12));
    EXPECT_EQ(sample & 0xF, PositionCode(8 + 5, 2 + 3, f.number, 4)); // the code's low bits
    EXPECT_LE(sample, 0xFFFu);
    // The code tells neighbours apart: the next column differs almost everywhere.
    int same = 0;
    for (uint32_t k = 0; k < 8; ++k)
        same += TestSample(kPositionCodeImage, 13 + k, 5, f.number, 8) ==
                TestSample(kPositionCodeImage, 14 + k, 5, f.number, 8);
    EXPECT_LT(same, 3);
    // A selected test picture is kept.
    f.testImage = 3;
    EXPECT_EQ(StreamImage(f), RenderFrame(f, SampleOrder::LittleEndian));
}

} // namespace
} // namespace EmulatorTest
