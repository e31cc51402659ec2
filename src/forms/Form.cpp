#include "forms/Form.h"

#include <utility>

#include "platform/Error.h"
#include "forms/FormHost.h"

namespace qz {

Form::Form(FormHost& host, const FormDesign& design) : host_(host), caption_(design.caption) {
  for (const auto& control : design.controls) AddControl(control);
}

Form::~Form() = default;

Control* Form::FindControl(const std::string& name) const {
  for (const auto& control : controls_) {
    if (control->Name() == name) return control.get();
  }
  return nullptr;
}

Control& Form::AddControl(ControlDesign design) {
  controls_.push_back(std::make_unique<Control>(*this, std::move(design)));
  return *controls_.back();
}

void Form::EnsureLoaded() {
  if (loaded_ || loading_) return;
  loading_ = true;
  host_.Load(*this);
  loaded_ = true;
  Form_Load();
  loading_ = false;
}

void Form::Show() {
  EnsureLoaded();
  shown_ = true;
  host_.Show(*this);
}

void Form::Hide() {
  if (!loaded_) return;
  shown_ = false;
  host_.Hide(*this);
}

void Form::Unload() {
  if (!loaded_) return;
  auto keepAlive = shared_from_this();
  Form_Unload();
  shown_ = false;
  loaded_ = false;
  host_.Unload(*this);
}

void Form::CloseBox() {
  Unload();
}

void Form::ControlChanged(const Control& control) {
  if (loaded_) host_.ControlChanged(*this, control);
}

void Form::SubstituteFonts() {
  for (const auto& control : controls_) {
    try {
      if (control->FontName() == "MS Sans Serif") control->SetFontName("Microsoft Sans Serif");
    } catch (const Error&) {
      // A control without a font (the picture) cannot take part; the loop goes on.
    }
  }
}

}  // namespace qz
