// kacq view's work per shown frame: encoding a 640 x 480 Mono8 frame as JPEG
// (every shown frame) and as PNG (Save PNG), against copying the frame once
// (the baseline: what the grab thread does with every frame anyway).
#include <benchmark/benchmark.h>

#include <cstring>

#include "view/FrameCodec.h"

namespace {

KacqView::Frame TestFrame(uint32_t bytesPerSample) {
    KacqView::Frame f;
    f.width = 640;
    f.height = 480;
    f.bytesPerSample = bytesPerSample;
    f.bits = bytesPerSample == 2 ? 12 : 8;
    f.data.resize(size_t(f.width) * f.height * bytesPerSample);
    // A smooth gradient with fine texture, closer to a scene than noise.
    for (size_t i = 0; i < f.data.size(); ++i)
        f.data[i] = uint8_t((i % f.width) / 3 + (i / f.width) / 4 + (i * 7 % 13));
    return f;
}

void BM_ViewCopyFrame(benchmark::State& state) {
    const KacqView::Frame frame = TestFrame(1);
    std::vector<uint8_t> copy(frame.data.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), frame.data.data(), frame.data.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ViewCopyFrame);

void BM_ViewEncodeJpeg(benchmark::State& state) {
    const KacqView::Frame frame = TestFrame(uint32_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(KacqView::EncodeJpeg(frame, 85));
}
BENCHMARK(BM_ViewEncodeJpeg)->Arg(1)->Arg(2);

void BM_ViewEncodePng(benchmark::State& state) {
    const KacqView::Frame frame = TestFrame(1);
    for (auto _ : state)
        benchmark::DoNotOptimize(KacqView::EncodePng(frame));
}
BENCHMARK(BM_ViewEncodePng);

} // namespace
