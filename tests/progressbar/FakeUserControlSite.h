#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/ControlFont.h"
#include "platform/PixelCanvas.h"
#include "platform/UserControlSite.h"

namespace qz::test {

// A window that exists only in memory: its surface is a canvas of the client size, and
// every text, shape and show request is recorded.
class FakeUserControlSite : public UserControlSite {
 public:
  struct TextCall {
    std::string text;
    Rect rect;
    uint32_t color = 0;
    std::optional<ControlFont> font;
  };

  FakeUserControlSite(int32_t width, int32_t height) {
    sysColors.fill(0x123456);
    sysColors[5] = 0xF0F8FF;
    sysColors[13] = 0xC56A31;
    Resize(width, height);
  }

  // The window changes size; the control hears of it through UserControl_Resize.
  void Resize(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
    surface_.Reset(width, height, backColor);
  }

  int32_t ClientWidth() const override { return width_; }
  int32_t ClientHeight() const override { return height_; }
  PixelCanvas& Surface() override { return surface_; }
  void ShowSurface() override { ++shows; }
  void SetBackColor(uint32_t color) override {
    backColor = color;
    surface_.Reset(width_, height_, color);
  }
  void DrawText(PixelCanvas& target, const Rect& rect, std::string_view text,
                uint32_t color) override {
    const ControlFont* font = target.SelectedFont();
    texts.push_back({std::string(text), rect, color,
                     font != nullptr ? std::optional<ControlFont>(*font) : std::nullopt});
  }
  void SetWindowRegion(const Rect& bounds, std::span<const Rect> removed) override {
    regionBounds = bounds;
    regionRemoved.assign(removed.begin(), removed.end());
  }
  uint32_t SysColor(int32_t index) const override {
    return index >= 0 && index < 31 ? sysColors[static_cast<size_t>(index)] : 0;
  }

  std::array<uint32_t, 31> sysColors{};
  uint32_t backColor = 0;
  int shows = 0;
  std::vector<TextCall> texts;
  std::optional<Rect> regionBounds;
  std::vector<Rect> regionRemoved;

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  PixelCanvas surface_;
};

}  // namespace qz::test
