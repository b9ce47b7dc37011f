// The dialogs, strings and pictures of audit.
#include <cmath>

#include "audit/platform/dialogs.h"
#include "audit/resource.h"

using plat::CtlKind;

namespace {

constexpr int IDOK_ = 1;
constexpr int IDCANCEL_ = 2;

plat::DialogTemplate MainDialog() {
  return {IDD_AUDIT_DIALOG, "Tervane", 209, 199,
          {
              {-1, CtlKind::Group, "", 145, 4, 57, 60},
              {IDC_GO, CtlKind::DefButton, "Go", 151, 13, 45, 45},
              {IDOK_, CtlKind::Button, "Quit", 151, 70, 45, 14},
              {-1, CtlKind::Group, "Configuration", 7, 4, 132, 82},
              {-1, CtlKind::Label, "System Name", 14, 16, 56, 9},
              {IDC_SYSNAME, CtlKind::Text, "", 72, 16, 64, 9},
              {-1, CtlKind::Label, "Drive", 14, 27, 56, 9},
              {IDC_DRIVE, CtlKind::Text, "", 72, 27, 64, 9},
              {-1, CtlKind::Label, "Computer Type", 14, 38, 56, 9},
              {IDC_TYPE, CtlKind::Text, "", 72, 38, 64, 9},
              {-1, CtlKind::Label, "Clear Logs", 14, 49, 56, 9},
              {IDC_CLEARLABEL, CtlKind::Text, "Unknown", 72, 49, 64, 9},
              {IDC_CONFIGURE, CtlKind::Button, "Configure", 14, 64, 50, 14},
              {-1, CtlKind::Group, "Log File Save Location", 7, 89, 195, 30},
              {IDC_PATH, CtlKind::Text, "", 14, 99, 132, 18},
              {IDC_CHANGE, CtlKind::Button, "Change...", 151, 99, 45, 14},
              {-1, CtlKind::Group, "Progress", 7, 122, 195, 60},
              {IDC_PROGRESS, CtlKind::List, "", 13, 133, 183, 44},
              {-1, CtlKind::Picture, "", 7, 185, 120, 11, IDB_BANNER},
          }};
}

plat::DialogTemplate ConfigDialog() {
  return {IDD_CONFIG, "Configure Defaults", 142, 133,
          {
              {-1, CtlKind::Label, "System Name", 7, 5, 128, 9},
              {IDC_EDIT_SYSNAME, CtlKind::Edit, "", 7, 14, 128, 12},
              {-1, CtlKind::Label, "ZIP Drive Letter", 7, 29, 128, 9},
              {IDC_EDIT_DRIVE, CtlKind::Edit, "", 7, 38, 128, 12},
              {-1, CtlKind::Label, "Computer Type", 7, 53, 128, 9},
              {IDC_EDIT_TYPE, CtlKind::Edit, "", 7, 62, 128, 12},
              {-1, CtlKind::Label, "Save Location for Automaitic Mode", 7, 77, 132, 9},
              {IDC_EDIT_AUTOLOCATION, CtlKind::Edit, "", 7, 86, 92, 12},
              {IDC_BROWSE, CtlKind::Button, "Browse", 102, 85, 33, 14},
              {IDC_CLEAR, CtlKind::Check, "Clear Logs On Success", 7, 102, 128, 10},
              {IDOK_, CtlKind::DefButton, "OK", 28, 114, 50, 14},
              {IDCANCEL_, CtlKind::Button, "Cancel", 85, 114, 50, 14},
          }};
}

plat::DialogTemplate AboutDialog() {
  return {IDD_ABOUTBOX, "About Tervane", 170, 66,
          {
              {-1, CtlKind::Picture, "", 7, 7, 24, 24, IDR_MAINFRAME},
              {-1, CtlKind::Label, "Tervane 1.0", 40, 8, 119, 9},
              {-1, CtlKind::Label,
               "Saves the System, Application and\nSecurity logs into dated folders.\nFor system administrators.",
               40, 20, 124, 27},
              {IDOK_, CtlKind::DefButton, "OK", 113, 48, 50, 14},
          }};
}

// The application icon: a sheet of ruled lines with a blue corner band.
plat::Image AppIcon() {
  plat::Image img;
  img.w = img.h = 32;
  img.rgba.resize(32 * 32 * 4);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      unsigned char* p = &img.rgba[(y * 32 + x) * 4];
      unsigned char r = 0, g = 0, b = 0, a = 0;
      if (x >= 5 && x <= 26 && y >= 2 && y <= 29) {
        bool border = x == 5 || x == 26 || y == 2 || y == 29;
        r = g = b = 250;
        if (border) r = g = b = 60;
        else if (y >= 4 && y <= 9) { r = 40; g = 90; b = 180; }
        else if (y % 4 == 1 && x >= 8 && x <= 23) { r = g = b = 120; }
        a = 255;
      }
      p[0] = r; p[1] = g; p[2] = b; p[3] = a;
    }
  }
  return img;
}

// The banner along the bottom of the main dialog: a blue band fading out.
plat::Image Banner() {
  plat::Image img;
  img.w = 180;
  img.h = 12;
  img.rgba.resize(img.w * img.h * 4);
  for (int y = 0; y < img.h; ++y) {
    for (int x = 0; x < img.w; ++x) {
      unsigned char* p = &img.rgba[(y * img.w + x) * 4];
      double fade = 1.0 - static_cast<double>(x) / img.w;
      bool stripe = (y >= 4 && y <= 7);
      p[0] = static_cast<unsigned char>(stripe ? 200 : 40);
      p[1] = static_cast<unsigned char>(stripe ? 210 : 90);
      p[2] = static_cast<unsigned char>(stripe ? 230 : 180);
      p[3] = static_cast<unsigned char>(std::lround(255 * fade));
    }
  }
  return img;
}

}  // namespace

void RegisterAuditResources() {
  plat::RegisterDialogTemplate(MainDialog());
  plat::RegisterDialogTemplate(ConfigDialog());
  plat::RegisterDialogTemplate(AboutDialog());
  plat::RegisterString(IDS_ABOUTBOX, "&About Tervane");
  plat::RegisterString(0xE000, "Tervane");
  plat::RegisterImage(IDR_MAINFRAME, AppIcon());
  plat::RegisterImage(IDB_BANNER, Banner());
}
