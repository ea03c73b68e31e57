// The setup dialog on a high-DPI screen: the programs declare themselves DPI aware, the
// dialog keeps every text readable at 144 DPI (150 %) that it shows whole at 96 DPI, and the
// banner draws the image of the icon group that fits the screen's DPI.
//
// The screen DPI is Wine's LogPixels setting (harness/screen_dpi.h), read by each process
// when it starts: every run below starts the setup program, and the probe that measures it,
// while the setting holds, and the setting returns to what it was afterwards. Wine lays out
// every program at that DPI, declared aware or not; Windows stretches an unaware one as a
// bitmap, which is what the manifest's declaration prevents there.
#include <gtest/gtest.h>

#include <stdio.h>

#include <sstream>
#include <string>
#include <vector>

#include "setup/resource.h"
#include "harness/console_child.h"
#include "harness/manifest_settings.h"
#include "harness/screen_dpi.h"
#include "harness/setup_session.h"

namespace {

// One text of the dialog as dialog_text_fit_probe.exe measured it.
struct MeasuredText {
  std::string text;
  int need_width = 0, need_height = 0;
  int room_width = 0, room_height = 0;
  bool Fits() const { return need_width <= room_width && need_height <= room_height; }
  std::string Describe() const {
    std::ostringstream out;
    out << "\"" << text << "\" needs " << need_width << " x " << need_height << " pixels, has "
        << room_width << " x " << room_height;
    return out.str();
  }
};

struct DialogMeasurement {
  int dpi = 0;
  int dialog_width = 0, dialog_height = 0;
  int reference_width = 0, reference_height = 0;
  std::vector<MeasuredText> texts;
  const MeasuredText* Find(const std::string& text) const {
    for (const MeasuredText& t : texts) {
      if (t.text == text) return &t;
    }
    return nullptr;
  }
};

DialogMeasurement ParseProbeReport(const std::string& report) {
  DialogMeasurement m;
  std::istringstream lines(report);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    MeasuredText t;
    int text_at = 0;
    if (sscanf(line.c_str(), "dpi %d", &m.dpi) == 1) continue;
    if (sscanf(line.c_str(), "dialog %d %d", &m.dialog_width, &m.dialog_height) == 2) continue;
    if (sscanf(line.c_str(), "reference %d %d", &m.reference_width, &m.reference_height) == 2) {
      continue;
    }
    if (sscanf(line.c_str(), "text %d %d %d %d%n", &t.need_width, &t.need_height,
               &t.room_width, &t.room_height, &text_at) == 4 &&
        text_at > 0 && (size_t)text_at < line.size()) {
      // After one blank, the rest of the line is the text, leading and trailing blanks
      // included.
      t.text = line.substr(text_at + 1);
      m.texts.push_back(t);
    }
  }
  return m;
}

// Starts a setup program at screen DPI `dpi` and measures its dialog's texts with
// dialog_text_fit_probe.exe, started at the same DPI.
DialogMeasurement MeasureDialogAt(DWORD dpi) {
  DialogMeasurement m;
  ScopedScreenDpi screen(dpi);
  EXPECT_TRUE(screen.ok());
  ScratchFolder scratch;
  TestPackageContents contents = DialogTestPackage(L"Dlg Dpi");
  contents.allow_run_once = 1;
  std::wstring exe = scratch / L"setup.exe";
  SetupSession setup(exe, contents);
  EXPECT_TRUE(setup.ok());
  if (!setup.ok()) return m;
  ConsoleRun probe = RunConsoleChild(Quoted(BinDir() + L"dialog_text_fit_probe.exe") + L" " +
                                         Quoted(exe) + L" " +
                                         std::to_wstring((UINT_PTR)setup.dialog()),
                                     kRunTimeoutMs);
  EXPECT_EQ(probe.exit_code, 0u) << probe.err;
  m = ParseProbeReport(probe.out);
  EXPECT_EQ(setup.PressExit(), 0u);
  return m;
}

TEST(SetupDialogDpi, TextsThatFitAt96DpiStillFitAt144Dpi) {
  DialogMeasurement at96 = MeasureDialogAt(96);
  DialogMeasurement at144 = MeasureDialogAt(144);
  ASSERT_EQ(at96.dpi, 96);
  ASSERT_EQ(at144.dpi, 144);
  // The probe's own dialog from the same template at the same DPI has the running dialog's
  // size: the setup program ran at the DPI the probe measured at. The 144-DPI dialog is
  // half as large again as the 96-DPI one (the template's font sets its scale).
  for (const DialogMeasurement* m : {&at96, &at144}) {
    SCOPED_TRACE(m->dpi);
    EXPECT_EQ(m->dialog_width, m->reference_width);
    EXPECT_EQ(m->dialog_height, m->reference_height);
  }
  EXPECT_GT(at144.dialog_width * 10, at96.dialog_width * 14);
  EXPECT_GT(at144.dialog_height * 10, at96.dialog_height * 14);

  // Every control with a text: the 19 of the template, the welcome line expanded, the
  // blanks around texts kept.
  ASSERT_EQ(at96.texts.size(), 19u);
  ASSERT_EQ(at144.texts.size(), at96.texts.size());
  EXPECT_NE(at96.Find(" License Agreement "), nullptr);
  EXPECT_NE(at96.Find("Add to Desktop (Add a link to the desktop) "), nullptr);
  std::string clipped_at_96;
  for (const MeasuredText& small : at96.texts) {
    SCOPED_TRACE(small.text);
    const MeasuredText* large = at144.Find(small.text);
    ASSERT_NE(large, nullptr);
    if (!small.Fits()) {
      clipped_at_96 += "\n  " + small.Describe();
      continue;
    }
    EXPECT_TRUE(large->Fits()) << "at 144 DPI " << large->Describe() << " (at 96 DPI "
                               << small.need_width << " x " << small.need_height << " of "
                               << small.room_width << " x " << small.room_height << ")";
  }
  // A text clipped already at 96 DPI is a matter of the template and the fonts, not of the
  // DPI: said, not failed.
  if (!clipped_at_96.empty()) printf("Texts clipped at 96 DPI:%s\n", clipped_at_96.c_str());
}

// An icon file whose images are each one opaque colour: 32-bit bitmaps with an empty mask.
struct SolidImage {
  int size;
  COLORREF colour;
};

std::vector<unsigned char> SolidIconFile(const std::vector<SolidImage>& images) {
  std::vector<std::vector<unsigned char>> bitmaps;
  for (const SolidImage& image : images) {
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = image.size;
    header.biHeight = 2 * image.size;  // colours, then the mask
    header.biPlanes = 1;
    header.biBitCount = 32;
    std::vector<unsigned char> bytes((unsigned char*)&header, (unsigned char*)&header + sizeof(header));
    for (int i = 0; i < image.size * image.size; ++i) {
      bytes.insert(bytes.end(), {GetBValue(image.colour), GetGValue(image.colour),
                                 GetRValue(image.colour), 255});
    }
    size_t mask_row = ((image.size + 31) / 32) * 4;
    bytes.insert(bytes.end(), mask_row * image.size, 0);
    bitmaps.push_back(bytes);
  }
  std::vector<unsigned char> file = {0, 0, 1, 0, (unsigned char)images.size(), 0};
  size_t offset = 6 + 16 * images.size();
  for (size_t i = 0; i < images.size(); ++i) {
    DWORD size = (DWORD)bitmaps[i].size(), at = (DWORD)offset;
    unsigned char entry[16] = {(unsigned char)images[i].size, (unsigned char)images[i].size,
                               0, 0, 1, 0, 32, 0};
    memcpy(entry + 8, &size, 4);
    memcpy(entry + 12, &at, 4);
    file.insert(file.end(), entry, entry + 16);
    offset += size;
  }
  for (const std::vector<unsigned char>& bitmap : bitmaps) {
    file.insert(file.end(), bitmap.begin(), bitmap.end());
  }
  return file;
}

// The colour of the setup dialog's client pixel (x, y) on the screen, after a repaint.
class DialogPixels {
 public:
  explicit DialogPixels(HWND dialog) : dialog_(dialog), screen_(GetDC(NULL)) {
    RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    DWORD_PTR ignored;
    SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);  // painted by now
  }
  ~DialogPixels() { ReleaseDC(NULL, screen_); }
  COLORREF At(int x, int y) const {
    POINT p = {x, y};
    ClientToScreen(dialog_, &p);
    return GetPixel(screen_, p.x, p.y) & 0xFFFFFF;
  }

 private:
  HWND dialog_;
  HDC screen_;
};

const COLORREF kWhite = RGB(255, 255, 255);
// The banner icon's top left corner in client pixels, at every DPI.
constexpr int kIconX = 4, kIconY = 8;

// A product icon with four sizes: at 96 DPI the banner shows the 32-pixel image at its own
// size, at 144 DPI the 48-pixel one (the large-icon size there), not the largest one nor a
// stretched smaller one.
TEST(SetupDialogDpi, BannerDrawsTheProductIconImageThatFitsTheDpi) {
  const COLORREF k16 = RGB(255, 0, 255), k32 = RGB(255, 0, 0), k48 = RGB(0, 0, 255),
                 k64 = RGB(0, 128, 0);
  ScratchFolder scratch;
  std::vector<unsigned char> icon = SolidIconFile({{16, k16}, {32, k32}, {48, k48}, {64, k64}});
  WriteBytes(scratch / L"sizes.ico", icon.data(), icon.size());
  WriteText(scratch / L"a.txt", "a");
  WriteText(scratch / L"app.ini",
            "[product]\nname = Dpi Icon\nversion = 1.0\nwindow_class = DpiIconWnd\n"
            "icon = sizes.ico\n[files]\na.txt = a.txt\n");
  ConsoleRun pack = RunPack(L"app.ini -o setup.exe", scratch.path());
  ASSERT_EQ(pack.exit_code, 0u) << pack.err;

  struct Case {
    DWORD dpi;
    COLORREF colour;
    int size;
  } cases[] = {{96, k32, 32}, {144, k48, 48}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dpi);
    ScopedScreenDpi screen(c.dpi);
    ASSERT_TRUE(screen.ok());
    SetupSession setup(scratch / L"setup.exe", L"Dpi Icon 1.0 Installer");
    ASSERT_TRUE(setup.ok());
    DialogPixels pixels(setup.dialog());
    EXPECT_EQ(pixels.At(kIconX, kIconY), c.colour);
    EXPECT_EQ(pixels.At(kIconX + c.size / 2, kIconY + c.size / 2), c.colour);
    EXPECT_EQ(pixels.At(kIconX + c.size - 1, kIconY + c.size - 1), c.colour);
    // Right of and below the image the banner is white again.
    EXPECT_EQ(pixels.At(kIconX + c.size + 1, kIconY + c.size / 2), kWhite);
    EXPECT_EQ(pixels.At(kIconX + c.size / 2, kIconY + c.size + 1), kWhite);
    EXPECT_EQ(setup.PressExit(), 0u);
  }
}

// The stub's own icon group has one 32-pixel image: at 144 DPI it is drawn at the 48-pixel
// large-icon size, so the icon keeps its share of the larger banner.
TEST(SetupDialogDpi, StubIconFillsTheLargeIconSizeAt144Dpi) {
  ScratchFolder scratch;
  TestPackageContents contents = DialogTestPackage(L"Dlg Dpi Stub");
  ASSERT_TRUE(BuildSetup(scratch / L"setup.exe", contents));
  // Point (20, 27) of the 32-pixel image lies inside the olive base of the box. Drawn at 48
  // pixels, the icon shows it at (30, 41) from its corner; drawn at 32, that point is banner.
  struct Case {
    DWORD dpi;
    COLORREF colour;
  } cases[] = {{96, kWhite}, {144, RGB(128, 128, 0)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dpi);
    ScopedScreenDpi screen(c.dpi);
    ASSERT_TRUE(screen.ok());
    SetupSession setup(scratch / L"setup.exe", SetupCaption(contents));
    ASSERT_TRUE(setup.ok());
    DialogPixels pixels(setup.dialog());
    EXPECT_EQ(pixels.At(kIconX + 30, kIconY + 41), c.colour);
    EXPECT_EQ(setup.PressExit(), 0u);
  }
}

// Windows' side-by-side loader reads each program's manifest as system DPI aware and finds
// no per-monitor declaration (the dialog does not rescale on WM_DPICHANGED). The packed
// setup keeps the stub's manifest.
TEST(SetupDpiManifest, ProgramsDeclareSystemDpiAwareness) {
  ScratchFolder scratch;
  WriteText(scratch / L"a.txt", "a");
  WriteText(scratch / L"app.ini",
            "[product]\nname = Dpi Manifest\nversion = 1.0\nwindow_class = DpiManifestWnd\n"
            "[files]\na.txt = a.txt\n");
  ConsoleRun pack = RunPack(L"app.ini -o setup.exe", scratch.path());
  ASSERT_EQ(pack.exit_code, 0u) << pack.err;
  for (const std::wstring& program :
       {BinDir() + L"setup-stub.exe", scratch / L"setup.exe", UninstallerExe()}) {
    SCOPED_TRACE(Utf8(program));
    ManifestSetting aware = ReadManifestSetting(program, kWindowsSettings2005, L"dpiAware");
    EXPECT_TRUE(aware.manifest_read);
    EXPECT_TRUE(aware.found);
    EXPECT_EQ(aware.value, L"true");
    EXPECT_FALSE(ReadManifestSetting(program, kWindowsSettings2016, L"dpiAwareness").found);
  }
}

}  // namespace
