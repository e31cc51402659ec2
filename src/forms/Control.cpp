#include "forms/Control.h"

#include <utility>

#include "forms/Form.h"
#include "platform/Error.h"

namespace qz {
namespace {
constexpr int32_t kNoSuchProperty = 438;
}

Control::Control(Form& owner, ControlDesign design) : owner_(owner), design_(std::move(design)) {}

bool Control::HasFont() const {
  return design_.kind != ControlKind::kImage;
}

void Control::Touch() {
  owner_.EnsureLoaded();
}

void Control::Changed() {
  owner_.ControlChanged(*this);
}

const std::string& Control::Caption() {
  Touch();
  return design_.caption;
}

void Control::SetCaption(const std::string& caption) {
  Touch();
  design_.caption = caption;
  Changed();
}

bool Control::Visible() {
  Touch();
  return visible_;
}

void Control::SetVisible(bool visible) {
  Touch();
  visible_ = visible;
  Changed();
}

int Control::GetTop() {
  Touch();
  return design_.top;
}

void Control::SetTop(int twips) {
  Touch();
  design_.top = twips;
  Changed();
}

const std::string& Control::FontName() {
  Touch();
  if (!HasFont()) throw Error(kNoSuchProperty, "Object doesn't support this property or method");
  return design_.font.name;
}

void Control::SetFontName(const std::string& name) {
  Touch();
  if (!HasFont()) throw Error(kNoSuchProperty, "Object doesn't support this property or method");
  design_.font.name = name;
  Changed();
}

}  // namespace qz
