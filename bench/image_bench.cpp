// The cost of loading the carried image, and of the stream and payload sum per megabyte.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "app/context.h"
#include "image/codec.h"
#include "image/image_load.h"
#include "image/stored_image.h"
#include "platform/host/host_os.h"

namespace {

void BM_LoadFirmwareImage(benchmark::State& state) {
  // Into the program's own context, as start-up loads it: where the buffers lie changes the figure.
  tz::platform::host::HostOs host;
  const auto ctx = std::make_unique<tz::Context>(host.os());
  ctx->app.texts.decode();
  const tz::StringTable& texts = ctx->app.texts;
  tz::ImageState* const image = &ctx->image;
  while (state.KeepRunning()) {
    if (tz::load_firmware_image(*image, texts) != 0) {
      state.SkipWithError("the carried image does not load");
      break;
    }
    benchmark::DoNotOptimize(image->transfer_header);
  }
}
BENCHMARK(BM_LoadFirmwareImage)->Unit(benchmark::kMicrosecond);

void BM_ScrambleWithKey(benchmark::State& state) {
  // Lengths above 65535 are not a region; a megabyte is streamed in 64 KB pieces.
  constexpr std::uint32_t piece = 65534;
  std::vector<std::uint8_t> bytes(1 << 20, 0x5A);
  while (state.KeepRunning()) {
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      const std::size_t n = bytes.size() - at < piece ? bytes.size() - at : piece;
      tz::scramble_with_key(0x594B, bytes.data() + at, static_cast<std::uint32_t>(n));
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_ScrambleWithKey)->Unit(benchmark::kMicrosecond);

void BM_SumPayload(benchmark::State& state) {
  const tz::StoredImage& image = tz::embedded_image();
  while (state.KeepRunning()) benchmark::DoNotOptimize(tz::sum_payload(image));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * image.payload_block_count *
                          tz::payload_block_bytes);
}
BENCHMARK(BM_SumPayload)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
