#include "dialogs/DialogLayouts.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "forms/Form.h"
#include "forms/FormHost.h"
#include "forms/Twips.h"

namespace qz {
namespace {

// A host without windows: the layout and the font rule need none.
class NoWindowHost : public FormHost {
 public:
  void Load(Form&) override { ++loads; }
  void ControlChanged(Form&, const Control&) override {}
  void Show(Form&) override {}
  void Hide(Form&) override {}
  void Unload(Form&) override {}
  void RunUntilLastFormClosed() override {}
  bool HandleSystemEvents(int) override { return false; }
  int loads = 0;
};

class DesignForm : public Form {
 public:
  DesignForm(FormHost& host, const FormDesign& design) : Form(host, design) {}
  void Click(const std::string&) override {}
  using Form::SubstituteFonts;

 protected:
  void Form_Load() override { SubstituteFonts(); }
  void Form_Unload() override {}
};

const char* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::kLabel:
      return "label";
    case ControlKind::kCommandButton:
      return "button";
    case ControlKind::kFrame:
      return "panel";
    case ControlKind::kImage:
      return "picture";
    case ControlKind::kUserControl:
      return "user";
  }
  return "?";
}

// One line per control: name kind container left,top,width,height tab "caption" font.
std::vector<std::string> Rows(const FormDesign& design) {
  std::vector<std::string> rows;
  for (const ControlDesign& c : design.controls) {
    std::ostringstream row;
    row << c.name << ' ' << KindName(c.kind) << ' ' << (c.container.empty() ? "-" : c.container)
        << ' ' << c.left << ',' << c.top << ',' << c.width << ',' << c.height << " tab"
        << c.tabIndex << " \"" << c.caption << "\"";
    if (!c.font.name.empty()) {
      row << ' ' << c.font.name << ' ' << c.font.size << (c.font.bold ? " bold" : "");
    }
    if (c.autoSize) row << " auto";
    rows.push_back(row.str());
  }
  return rows;
}

const std::string kCancel = "cmdCancel button - 6075,4905,1125,345 tab";
const std::string kFont8 = "\" MS Sans Serif 8";
const std::string kPicture = "Image1 picture - -25,-25,7500,4740 tab-1 \"\"";
const std::string kHint = "lblMsg4 label Frame1 90,3780,4290,330 tab";
const std::string kHintText = " \"Click \"Cancel\" to abort.\" MS Sans Serif 8";
const std::string kMsg1 = "lblMsg1 label Frame1 90,225,4290,1230 tab";
const std::string kMsg1Font = "\" MS Sans Serif 12 bold";

TEST(DialogLayoutsTest, CheckQzUpdateMatchesItsTable) {
  FormDesign design = DialogLayouts::CheckQzUpdate();
  EXPECT_EQ(design.caption, "Check for Online Updates");
  EXPECT_EQ(Rows(design),
            (std::vector<std::string>{
                kCancel + "0 \"&Cancel" + kFont8,
                "Frame1 panel - 2650,180,4515,4290 tab1 \"" + kFont8,
                kMsg1 + "2 \"Checking for Online Updates" + kMsg1Font,
                "lblMsg2 label Frame1 90,1530,4290,1005 tab3 \"Please wait for some time.\" "
                "MS Sans Serif 9.75",
                "lblMsg3 label Frame1 90,3015,4290,645 tab4 \"" + kFont8,
                kHint + "5" + kHintText,
                kPicture,
            }));
}

TEST(DialogLayoutsTest, NeedsNoUpdateMatchesItsTable) {
  FormDesign design = DialogLayouts::NeedsNoUpdate();
  EXPECT_EQ(design.caption, "Needs No Update");
  EXPECT_EQ(Rows(design),
            (std::vector<std::string>{
                kCancel + "0 \"&Cancel" + kFont8,
                "cmdDIA button Frame1 90,2025,4425,435 tab1 \"Download and Install anyway\" "
                "MS Sans Serif 9.75 bold",
                "cmdCRL button Frame1 90,2565,4425,435 tab2 \"Check and Remind me later on\" "
                "MS Sans Serif 9.75 bold",
                "cmdDNU button Frame1 90,3105,4425,435 tab3 \"Don't remind untill next update\" "
                "MS Sans Serif 9.75 bold",
                "Frame1 panel - 2650,180,4605,4290 tab4 \"" + kFont8,
                kMsg1 +
                    "5 \"The Online Update currently available for this software is already "
                    "installed on this computer!" +
                    kMsg1Font,
                "lblMsg2 label Frame1 90,1530,3390,240 tab6 \"Please select what do you want to "
                "do?\" MS Sans Serif 9.75 auto",
                kHint + "7" + kHintText,
                kPicture,
            }));
}

TEST(DialogLayoutsTest, DownloadUpdateMatchesItsTable) {
  FormDesign design = DialogLayouts::DownloadUpdate();
  EXPECT_EQ(design.caption, "Download Update");
  EXPECT_EQ(Rows(design),
            (std::vector<std::string>{
                "cmdIRN button Frame1 90,2025,4425,435 tab0 \"Install it right now\" "
                "MS Sans Serif 9.75 bold",
                "cmdSIL button Frame1 90,2565,4425,435 tab1 \"Save it to be installed later on\" "
                "MS Sans Serif 9.75 bold",
                "cmdDRN button Frame1 90,3105,4425,435 tab2 \"Discard it to be ready for new "
                "updates\" MS Sans Serif 9.75 bold",
                kCancel + "3 \"&Cancel" + kFont8,
                "Frame1 panel - 2650,180,4605,4290 tab4 \"" + kFont8,
                kMsg1 + "5 \"The Online Update for this software has been downloaded sucessfully!" +
                    kMsg1Font,
                "lblMsg2 label Frame1 90,1530,3390,240 tab6 \"Please select what do you want to "
                "do?\" MS Sans Serif 9.75 auto",
                kHint + "7" + kHintText,
                "ProgressBar user Frame1 90,3960,4425,330 tab8 \"\" Tahoma 8",
                kPicture,
            }));
}

TEST(DialogLayoutsTest, InstallUpdateMatchesItsTable) {
  FormDesign design = DialogLayouts::InstallUpdate();
  EXPECT_EQ(design.caption, "Install Update");
  EXPECT_EQ(
      Rows(design),
      (std::vector<std::string>{
          kCancel + "0 \"&Cancel" + kFont8,
          "Frame1 panel - 2650,180,4515,4290 tab1 \"" + kFont8,
          kMsg1 + "2 \"The Online Update for this software is beeing installed ..." + kMsg1Font,
          "lblMsg2 label Frame1 90,1530,2325,240 tab3 \"Please wait for some time.\" "
          "MS Sans Serif 9.75 auto",
          kHint + "4" + kHintText,
          kPicture,
      }));
}

TEST(DialogLayoutsTest, FormTakesCaptionAndControlsInDesignOrder) {
  NoWindowHost host;
  FormDesign design = DialogLayouts::NeedsNoUpdate();
  DesignForm form(host, design);
  EXPECT_EQ(form.Caption(), "Needs No Update");
  ASSERT_EQ(form.Controls().size(), design.controls.size());
  for (size_t i = 0; i < design.controls.size(); ++i) {
    EXPECT_EQ(form.Controls()[i]->Name(), design.controls[i].name);
  }
  EXPECT_EQ(host.loads, 0) << "building a form must not load it";
}

// The font rule on every layout: after Form_Load each "MS Sans Serif" control reads
// "Microsoft Sans Serif" with size and weight kept; the picture and Tahoma stay as designed.
class FontSubstitutionTest : public testing::TestWithParam<FormDesign (*)()> {};

TEST_P(FontSubstitutionTest, ReplacesTheExactNameOnly) {
  NoWindowHost host;
  FormDesign design = GetParam()();
  DesignForm form(host, design);
  form.EnsureLoaded();
  ASSERT_EQ(host.loads, 1);

  for (size_t i = 0; i < design.controls.size(); ++i) {
    const ControlDesign& designed = design.controls[i];
    const Control& control = *form.Controls()[i];
    SCOPED_TRACE(designed.name);
    EXPECT_EQ(control.FontState().size, designed.font.size);
    EXPECT_EQ(control.FontState().bold, designed.font.bold);
    if (designed.kind == ControlKind::kImage) {
      EXPECT_FALSE(control.HasFont());
    } else if (designed.font.name == "MS Sans Serif") {
      EXPECT_EQ(control.FontState().name, "Microsoft Sans Serif");
    } else {
      EXPECT_EQ(control.FontState().name, designed.font.name);
    }
  }
  const FontSpec& first = form.FindControl("lblMsg1")->FontState();
  EXPECT_EQ(first.name, "Microsoft Sans Serif");
  EXPECT_EQ(first.size, 12);
  EXPECT_TRUE(first.bold);
  if (const Control* bar = form.FindControl("ProgressBar")) {
    EXPECT_EQ(bar->FontState().name, "Tahoma");
    EXPECT_EQ(bar->FontState().size, 8);
  }
}

TEST_P(FontSubstitutionTest, LeavesNamesThatMerelyResembleIt) {
  NoWindowHost host;
  FormDesign design = GetParam()();
  // Placed after the picture, so the loop has to get past it to reach them.
  for (const char* name : {"ms sans serif", "MS Sans Serif Bold", " MS Sans Serif"}) {
    ControlDesign extra;
    extra.name = std::string("lbl") + name;
    extra.font.name = name;
    design.controls.push_back(extra);
  }
  DesignForm form(host, design);
  form.EnsureLoaded();
  EXPECT_EQ(form.FindControl("lblms sans serif")->FontState().name, "ms sans serif");
  EXPECT_EQ(form.FindControl("lblMS Sans Serif Bold")->FontState().name, "MS Sans Serif Bold");
  EXPECT_EQ(form.FindControl("lbl MS Sans Serif")->FontState().name, " MS Sans Serif");
}

INSTANTIATE_TEST_SUITE_P(AllDialogs, FontSubstitutionTest,
                         testing::Values(&DialogLayouts::CheckQzUpdate,
                                         &DialogLayouts::NeedsNoUpdate,
                                         &DialogLayouts::DownloadUpdate,
                                         &DialogLayouts::InstallUpdate));

TEST(TwipsTest, RoundsToTheNearestPixel) {
  EXPECT_EQ(TwipsToPixels(-25), -2);
  EXPECT_EQ(TwipsToPixels(2650), 177);
  EXPECT_EQ(TwipsToPixels(7500), 500);
  EXPECT_EQ(TwipsToPixels(4740), 316);
  EXPECT_EQ(TwipsToPixels(7), 0);
  EXPECT_EQ(TwipsToPixels(8), 1);
  EXPECT_EQ(TwipsToPixels(-7), 0);
  EXPECT_EQ(TwipsToPixels(-8), -1);
  EXPECT_EQ(TwipsToPixels(7410), Form::kClientWidth);
  EXPECT_EQ(TwipsToPixels(5430), Form::kClientHeight);
}

// At other screen resolutions the layout scales with the screen: the same design, larger.
TEST(TwipsTest, ScalesWithTheScreenResolution) {
  for (int twips = -3000; twips <= 8000; ++twips) {
    ASSERT_EQ(TwipsToPixels(twips, 96), TwipsToPixels(twips)) << twips;
  }
  EXPECT_EQ(TwipsToPixels(7410, 144), 741);
  EXPECT_EQ(TwipsToPixels(5430, 192), 724);
  EXPECT_EQ(TwipsToPixels(2650, 120), 221);
  EXPECT_EQ(TwipsToPixels(-25, 144), -3);
  EXPECT_EQ(TwipsToPixels(5, 144), 1);
}

}  // namespace
}  // namespace qz
