#include "dialogs/DialogLayouts.h"

#include <utility>

namespace qz {
namespace {

const FontSpec kDialogFont{"MS Sans Serif", 8, false};
const FontSpec kFirstLineFont{"MS Sans Serif", 12, true};
const FontSpec kSecondLineFont{"MS Sans Serif", 9.75, false};
const FontSpec kChoiceFont{"MS Sans Serif", 9.75, true};
// The progress bar's own font, which it starts with.
const FontSpec kProgressBarFont{"Tahoma", 8, false};
// The picture is windowless and has no font at all.
const FontSpec kNoFont{"", 0, false};

constexpr char kPanel[] = "Frame1";
constexpr int kNoTab = -1;
constexpr char kCancelToAbort[] = "Click \"Cancel\" to abort.";
constexpr char kPleaseWait[] = "Please wait for some time.";
constexpr char kPleaseSelect[] = "Please select what do you want to do?";

ControlDesign Row(std::string name, ControlKind kind, std::string container, int left, int top,
                  int width, int height, int tabIndex, std::string caption,
                  FontSpec font = kDialogFont, bool autoSize = false) {
  return ControlDesign{std::move(name), kind,   std::move(container), left,     top,
                       width,           height, std::move(caption),   tabIndex, std::move(font),
                       autoSize};
}

ControlDesign CancelButton(int tabIndex) {
  return Row("cmdCancel", ControlKind::kCommandButton, "", 6075, 4905, 1125, 345, tabIndex,
             "&Cancel");
}

// The white message panel; two widths occur (4515 and 4605 twips).
ControlDesign Panel(int width, int tabIndex) {
  return Row(kPanel, ControlKind::kFrame, "", 2650, 180, width, 4290, tabIndex, "");
}

ControlDesign FirstLine(int tabIndex, std::string caption) {
  return Row("lblMsg1", ControlKind::kLabel, kPanel, 90, 225, 4290, 1230, tabIndex,
             std::move(caption), kFirstLineFont);
}

ControlDesign SecondLine(int width, int height, bool autoSize, int tabIndex, std::string caption) {
  return Row("lblMsg2", ControlKind::kLabel, kPanel, 90, 1530, width, height, tabIndex,
             std::move(caption), kSecondLineFont, autoSize);
}

ControlDesign CancelHint(int tabIndex) {
  return Row("lblMsg4", ControlKind::kLabel, kPanel, 90, 3780, 4290, 330, tabIndex, kCancelToAbort);
}

// A large choice button inside the panel; `slot` 0, 1 or 2 from the top.
ControlDesign Choice(std::string name, int slot, int tabIndex, std::string caption) {
  return Row(std::move(name), ControlKind::kCommandButton, kPanel, 90, 2025 + slot * 540, 4425, 435,
             tabIndex, std::move(caption), kChoiceFont);
}

ControlDesign Picture() {
  return Row("Image1", ControlKind::kImage, "", -25, -25, 7500, 4740, kNoTab, "", kNoFont);
}

}  // namespace

FormDesign DialogLayouts::CheckQzUpdate() {
  return {"Check for Online Updates",
          {CancelButton(0), Panel(4515, 1), FirstLine(2, "Checking for Online Updates"),
           SecondLine(4290, 1005, false, 3, kPleaseWait),
           Row("lblMsg3", ControlKind::kLabel, kPanel, 90, 3015, 4290, 645, 4, ""), CancelHint(5),
           Picture()}};
}

FormDesign DialogLayouts::NeedsNoUpdate() {
  return {"Needs No Update",
          {CancelButton(0), Choice("cmdDIA", 0, 1, "Download and Install anyway"),
           Choice("cmdCRL", 1, 2, "Check and Remind me later on"),
           Choice("cmdDNU", 2, 3, "Don't remind untill next update"), Panel(4605, 4),
           FirstLine(5,
                     "The Online Update currently available for this software is already "
                     "installed on this computer!"),
           SecondLine(3390, 240, true, 6, kPleaseSelect), CancelHint(7), Picture()}};
}

FormDesign DialogLayouts::DownloadUpdate() {
  return {"Download Update",
          {Choice("cmdIRN", 0, 0, "Install it right now"),
           Choice("cmdSIL", 1, 1, "Save it to be installed later on"),
           Choice("cmdDRN", 2, 2, "Discard it to be ready for new updates"), CancelButton(3),
           Panel(4605, 4),
           FirstLine(5, "The Online Update for this software has been downloaded sucessfully!"),
           SecondLine(3390, 240, true, 6, kPleaseSelect), CancelHint(7),
           Row("ProgressBar", ControlKind::kUserControl, kPanel, 90, 3960, 4425, 330, 8, "",
               kProgressBarFont),
           Picture()}};
}

FormDesign DialogLayouts::InstallUpdate() {
  return {"Install Update",
          {CancelButton(0), Panel(4515, 1),
           FirstLine(2, "The Online Update for this software is beeing installed ..."),
           SecondLine(2325, 240, true, 3, kPleaseWait), CancelHint(4), Picture()}};
}

}  // namespace qz
