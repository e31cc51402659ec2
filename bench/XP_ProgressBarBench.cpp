// One full redraw of the download dialog's progress bar (295 x 22 pixels) in every style
// and orientation, into a site that shows nothing. Counts heap allocations per redraw,
// which must be zero once the buffer exists.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "platform/PixelCanvas.h"
#include "platform/UserControlSite.h"
#include "progressbar/XP_ProgressBar.h"

namespace {

std::atomic<long> allocations{0};

}  // namespace

// None of the three is inlined: GCC would otherwise pair an inlined malloc or free with
// the library's own operators and warn of a mismatch that is not there.
[[gnu::noinline]] void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* block) noexcept {
  std::free(block);
}
[[gnu::noinline]] void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}

namespace {

class NullSite : public qz::UserControlSite {
 public:
  NullSite(int32_t width, int32_t height) : width_(width), height_(height) {
    surface_.Reset(width, height, 0xFFFFFF);
  }
  int32_t ClientWidth() const override { return width_; }
  int32_t ClientHeight() const override { return height_; }
  qz::PixelCanvas& Surface() override { return surface_; }
  void ShowSurface() override {}
  void SetBackColor(uint32_t) override {}
  void DrawText(qz::PixelCanvas&, const qz::Rect&, std::string_view, uint32_t) override {}
  void SetWindowRegion(const qz::Rect&, std::span<const qz::Rect>) override {}
  uint32_t SysColor(int32_t) const override { return 0xC56A31; }

 private:
  int32_t width_;
  int32_t height_;
  qz::PixelCanvas surface_;
};

void BM_DrawProgressBar(benchmark::State& state) {
  NullSite site(295, 22);
  qz::XP_ProgressBar bar;
  bar.UserControl_Initialize(site);
  const auto style = static_cast<int32_t>(state.range(0));
  bar.SetScrolling(style);
  bar.SetOrientation(static_cast<int32_t>(state.range(1)));
  // Full for the block styles (every separator drawn); mid-way for the searching blocks.
  bar.SetValue(style == qz::XP_ProgressBar::kSearching ? 50 : 100);

  const long before = allocations.load();
  for (auto _ : state) {
    bar.DrawProgressBar();
    benchmark::DoNotOptimize(site.Surface().Bits());
  }
  state.counters["allocs_per_redraw"] =
      static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_DrawProgressBar)
    ->ArgNames({"style", "vertical"})
    ->ArgsProduct({{qz::XP_ProgressBar::kSegmented, qz::XP_ProgressBar::kContinuous,
                    qz::XP_ProgressBar::kSearching},
                   {0, 1}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
