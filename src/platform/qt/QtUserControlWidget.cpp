#include "platform/qt/QtUserControlWidget.h"

#include <utility>

#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QResizeEvent>
#include <array>
#include <bit>
#include <cmath>
#include <optional>

#include "platform/Error.h"
#include "platform/UserControl.h"

namespace qz {
namespace {

// QImage::Format_RGBX8888 keeps bytes R, G, B, X in memory: a 0x00BBGGRR pixel read as a
// little-endian 32-bit value.
static_assert(std::endian::native == std::endian::little);

constexpr uint32_t kColorBits = 0x00FFFFFF;
constexpr double kPixelsPerPoint = 96.0 / 72.0;

struct SystemColorRole {
  QPalette::ColorGroup group;
  QPalette::ColorRole role;
};

// The classic desktop colour slots 0..30 and the palette colours that play their part.
// Slot 25 has no colour.
const std::array<std::optional<SystemColorRole>, 31> kSystemColors{{
    SystemColorRole{QPalette::Active, QPalette::Button},           // 0 scroll bar
    SystemColorRole{QPalette::Active, QPalette::Dark},             // 1 desktop
    SystemColorRole{QPalette::Active, QPalette::Highlight},        // 2 active caption
    SystemColorRole{QPalette::Inactive, QPalette::Mid},            // 3 inactive caption
    SystemColorRole{QPalette::Active, QPalette::Window},           // 4 menu
    SystemColorRole{QPalette::Active, QPalette::Base},             // 5 window background
    SystemColorRole{QPalette::Active, QPalette::Shadow},           // 6 window frame
    SystemColorRole{QPalette::Active, QPalette::WindowText},       // 7 menu text
    SystemColorRole{QPalette::Active, QPalette::Text},             // 8 window text
    SystemColorRole{QPalette::Active, QPalette::HighlightedText},  // 9 caption text
    SystemColorRole{QPalette::Active, QPalette::Button},           // 10 active border
    SystemColorRole{QPalette::Inactive, QPalette::Button},         // 11 inactive border
    SystemColorRole{QPalette::Active, QPalette::Dark},             // 12 application workspace
    SystemColorRole{QPalette::Active, QPalette::Highlight},        // 13 highlight
    SystemColorRole{QPalette::Active, QPalette::HighlightedText},  // 14 highlighted text
    SystemColorRole{QPalette::Active, QPalette::Button},           // 15 button face
    SystemColorRole{QPalette::Active, QPalette::Dark},             // 16 button shadow
    SystemColorRole{QPalette::Disabled, QPalette::Text},           // 17 grey text
    SystemColorRole{QPalette::Active, QPalette::ButtonText},       // 18 button text
    SystemColorRole{QPalette::Inactive, QPalette::WindowText},     // 19 inactive caption text
    SystemColorRole{QPalette::Active, QPalette::Light},            // 20 button highlight
    SystemColorRole{QPalette::Active, QPalette::Shadow},           // 21 3-D dark shadow
    SystemColorRole{QPalette::Active, QPalette::Midlight},         // 22 3-D light
    SystemColorRole{QPalette::Active, QPalette::ToolTipText},      // 23 tooltip text
    SystemColorRole{QPalette::Active, QPalette::ToolTipBase},      // 24 tooltip background
    std::nullopt,                                                  // 25
    SystemColorRole{QPalette::Active, QPalette::Link},             // 26 hot-tracked item
    SystemColorRole{QPalette::Active, QPalette::Highlight},        // 27 active caption gradient
    SystemColorRole{QPalette::Inactive, QPalette::Mid},            // 28 inactive caption gradient
    SystemColorRole{QPalette::Active, QPalette::Highlight},        // 29 menu highlight
    SystemColorRole{QPalette::Active, QPalette::Window},           // 30 menu bar
}};

QRect ToQRect(const Rect& rect) {
  return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

QColor ToQColor(uint32_t color) {
  return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

// Text is drawn without smoothing, as small dialog text on the classic desktop is.
QFont ToQFont(const ControlFont* font, const QFont& fallback) {
  QFont result = fallback;
  if (font != nullptr) {
    result.setFamily(QString::fromStdString(font->name));
    result.setPixelSize(std::max(1, static_cast<int>(std::lround(font->size * kPixelsPerPoint))));
    result.setBold(font->bold);
    result.setItalic(font->italic);
    result.setUnderline(font->underline);
    result.setStrikeOut(font->strikethrough);
  }
  result.setStyleStrategy(QFont::NoAntialias);
  return result;
}

}  // namespace

QtUserControlWidget::QtUserControlWidget(QWidget* parent, UserControl& control)
    : QWidget(parent), control_(&control) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  try {
    control_->UserControl_Initialize(*this);
  } catch (const Error&) {
    // A failed first drawing leaves the control as it is; the next paint tries again.
  }
}

QtUserControlWidget::~QtUserControlWidget() {
  Detach();
}

void QtUserControlWidget::Detach() {
  if (control_ == nullptr) return;
  UserControl* control = std::exchange(control_, nullptr);
  control->UserControl_Terminate();
}

PixelCanvas& QtUserControlWidget::Surface() {
  // A hidden window learns of its new size only when shown; the surface follows at once.
  if (surface_.Width() != width() || surface_.Height() != height()) {
    surface_.Reset(width(), height(), backColor_);
  }
  return surface_;
}

void QtUserControlWidget::ShowSurface() {
  if (painting_) return;  // the paint event shows the surface when the control is done
  presenting_ = true;
  repaint();
  presenting_ = false;
}

void QtUserControlWidget::SetBackColor(uint32_t color) {
  backColor_ = color & kColorBits;
  surface_.Reset(width(), height(), backColor_);
}

void QtUserControlWidget::DrawText(PixelCanvas& target, const Rect& rect, std::string_view text,
                                   uint32_t color) {
  if (target.Width() == 0 || target.Height() == 0) return;
  QImage image(reinterpret_cast<uchar*>(target.Bits()), target.Width(), target.Height(),
               target.Width() * static_cast<qsizetype>(sizeof(uint32_t)), QImage::Format_RGBX8888);
  {
    QPainter painter(&image);
    painter.setFont(ToQFont(target.SelectedFont(), font()));
    painter.setPen(ToQColor(color));
    painter.drawText(ToQRect(rect), Qt::AlignCenter | Qt::TextSingleLine,
                     QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
  }
  // Qt sets the unused top byte of what it draws; the canvas keeps it clear.
  uint32_t* pixel = target.Bits();
  for (size_t i = 0, n = size_t(target.Width()) * size_t(target.Height()); i < n; ++i) {
    pixel[i] &= kColorBits;
  }
}

void QtUserControlWidget::SetWindowRegion(const Rect& bounds, std::span<const Rect> removed) {
  QRegion region(ToQRect(bounds));
  for (const Rect& rect : removed) region -= QRegion(ToQRect(rect));
  // An empty mask means "no mask" to Qt; a region beside the window hides all of it.
  if (region.isEmpty()) region = QRegion(-1, -1, 1, 1);
  if (mask() != region) setMask(region);
}

uint32_t QtUserControlWidget::SysColor(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= kSystemColors.size()) return 0;
  const std::optional<SystemColorRole>& slot = kSystemColors[static_cast<size_t>(index)];
  if (!slot) return 0;
  const QColor color = palette().color(slot->group, slot->role);
  return static_cast<uint32_t>(color.red()) | static_cast<uint32_t>(color.green()) << 8 |
         static_cast<uint32_t>(color.blue()) << 16;
}

void QtUserControlWidget::paintEvent(QPaintEvent*) {
  if (!presenting_ && control_ != nullptr) {
    painting_ = true;
    try {
      control_->UserControl_Paint();
    } catch (const Error&) {
      // Ignored like a failed drawing: the surface shows what it last held.
    }
    painting_ = false;
  }
  const PixelCanvas& surface = Surface();
  if (shown_.size() != QSize(surface.Width(), surface.Height())) {
    shown_ = QImage(surface.Width(), surface.Height(), QImage::Format_RGB32);
  }
  for (int32_t y = 0; y < surface.Height(); ++y) {
    const uint32_t* from = surface.Bits() + static_cast<size_t>(y) * surface.Width();
    auto* to = reinterpret_cast<QRgb*>(shown_.scanLine(y));
    for (int32_t x = 0; x < surface.Width(); ++x) {
      const uint32_t c = from[x];
      to[x] = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    }
  }
  QPainter(this).drawImage(0, 0, shown_);
}

void QtUserControlWidget::resizeEvent(QResizeEvent*) {
  Surface();
  if (control_ == nullptr) return;
  try {
    control_->UserControl_Resize();
  } catch (const Error&) {
    // Growing the buffer raises nothing the window could act on.
  }
}

}  // namespace qz
