#include "InstallWizard.h"

#include <commctrl.h>
#include <richedit.h>
#include <shlobj.h>

#include "ElevatedRun.h"
#include "ExitCodes.h"
#include "FolderListing.h"
#include "ListedItems.h"
#include "Memory.h"
#include "Module.h"
#include "WizardText.h"
#include "resource.h"
#include "WideText.h"

namespace {
const int kDialogNumber = 201;
const uint16_t kEnglish = 1033;
const uint32_t kPathLimit = 1039;
const int32_t kLogoLimit = 32767;
// The closing message's numbered strings, and the texts of packages made before they existed.
const int kFinishedString = 4;
const int kRestartString = 8;
const int kFailuresString = 9;
const char kRestartText[] = "Restart your computer to finish the installation.";
const char kFailuresText[] = "The installation is incomplete. These items could not be installed:";
// The closing message names this many failures, and counts the rest.
const uint32_t kListedFailures = 10;
const char kMoreFailures[] = "and %s more";
// Starts a passive run once the dialog shows.
const UINT kStartPassive = WM_APP + 1;

const int kLicenceGroup[] = {IDC_ACCEPT, IDC_LICENCE, IDC_LICENCE_INTRO, -1};
const int kOptionsGroup[] = {IDOK,        IDC_COMPONENTS, IDC_FOLDER,     IDC_BROWSE,     IDC_COMPONENTS_LABEL,
                             IDC_SPACE,   IDC_MENU,       IDC_FOLDER_LABEL, IDC_MENU_LABEL, IDC_DESCRIPTION, -1};
const int kInstallHideGroup[] = {IDC_COMPONENTS, IDC_SPACE,     IDOK,          IDCANCEL,
                                 IDC_DESCRIPTION, IDC_SCOPE_ALL, IDC_SCOPE_USER, -1};
const int kScopeGroup[] = {IDC_SCOPE_ALL, IDC_SCOPE_USER, -1};
const int kInstallShowGroup[] = {IDC_TOTAL_LABEL, IDC_FILE, IDC_FILE_PROGRESS, IDC_TOTAL_PROGRESS, -1};


// "l\<language>\" followed by the rest of a language-table key.
Text LanguageKey(int language) {
  Text key("l\\");
  key.AppendDecimal(language);
  key.Append('\\');
  return key;
}

// Texts reach the controls in UTF-16, whatever the package's code page.
void SetText(HWND window, const Text& text) { SetWindowTextW(window, WideText(text)); }

// A language table's identifier text as a number; 0 when it is none.
uint16_t LanguageIdOf(const Text& text) {
  uint32_t id = 0;
  for (uint32_t i = 0; i < text.Length() && id <= 0xFFFF; ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    id = id * 10 + uint32_t(text[i] - '0');
  }
  return id <= 0xFFFF ? uint16_t(id) : 0;
}

bool IsRightToLeft(uint16_t languageId) {
  return PRIMARYLANGID(languageId) == LANG_HEBREW || PRIMARYLANGID(languageId) == LANG_ARABIC;
}

uint32_t ReadU16(const uint8_t* at) { return uint32_t(at[0]) | uint32_t(at[1]) << 8; }
uint32_t ReadU32(const uint8_t* at) { return ReadU16(at) | ReadU16(at + 2) << 16; }

// Bytes of the colour table that follows a bitmap information header, or -1 for a layout
// that CreateDIBSection would not take.
int64_t ColourTableBytes(uint32_t headerSize, uint32_t bitsPerPixel, uint32_t compression, uint32_t coloursUsed) {
  if (bitsPerPixel <= 8) {
    uint32_t most = 1u << bitsPerPixel;
    return int64_t(coloursUsed == 0 || coloursUsed > most ? most : coloursUsed) * 4;
  }
  // The three masks of a bit-fields bitmap follow a plain header; larger headers hold them.
  if (compression == BI_BITFIELDS && headerSize == sizeof(BITMAPINFOHEADER)) return 12;
  return int64_t(coloursUsed) * 4;
}

// The bitmap drawn at the screen's scale: the template is in dialog units, which grow with the
// system DPI, and the logo should keep its place beside the controls.
HBITMAP ScaledForScreen(HBITMAP bitmap) {
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  BITMAP info;
  if (dpi == 96 || !GetObjectA(bitmap, sizeof(info), &info)) return bitmap;
  HANDLE scaled = CopyImage(bitmap, IMAGE_BITMAP, MulDiv(info.bmWidth, dpi, 96), MulDiv(info.bmHeight, dpi, 96),
                            LR_CREATEDIBSECTION);
  if (!scaled) return bitmap;
  DeleteObject(bitmap);
  return static_cast<HBITMAP>(scaled);
}

struct LicenceStream {
  const char* data;
  uint32_t left;
};

DWORD CALLBACK ReadLicence(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
  LicenceStream* stream = reinterpret_cast<LicenceStream*>(cookie);
  uint32_t count = wanted < 0 ? 0 : (uint32_t(wanted) < stream->left ? uint32_t(wanted) : stream->left);
  CopyMemory(buffer, stream->data, count);
  stream->data += count;
  stream->left -= count;
  *given = LONG(count);
  return 0;
}

// Opens the folder browser on the destination the user has so far.
int CALLBACK BrowseStart(HWND browser, UINT message, LPARAM, LPARAM folder) {
  if (message == BFFM_INITIALIZED) SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, folder);
  return 0;
}
}  // namespace

InstallWizard::InstallWizard(const char* path)
    : InstallEngine(path), window_(nullptr), languageIndex_(0), dialogNumber_(0), listView_(nullptr), startLanguage_(0),
      passive_(false), elevatedExitCode_(kExitFailed) {}

InstallWizard::~InstallWizard() = default;

INT_PTR CALLBACK InstallWizard::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  InstallWizard* self = reinterpret_cast<InstallWizard*>(GetWindowLongPtrW(window, DWLP_USER));
  if (!self) {
    self = static_cast<InstallWizard*>(Module::TakeWindowObject());
    if (!self) return FALSE;
    self->window_ = window;
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
  }
  INT_PTR result = 0;
  if (!self->HandleMessage(message, wParam, lParam, &result)) return FALSE;
  // These two answer through the return value; every other handled message through the
  // message result.
  if (message == WM_INITDIALOG || message == WM_CTLCOLORSTATIC) return result;
  SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
  return TRUE;
}

bool InstallWizard::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
  switch (message) {
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom == IDC_COMPONENTS && header->code == LVN_ITEMCHANGED)
        OnComponentChanged(*reinterpret_cast<const NMLISTVIEW*>(lParam));
      return false;
    }
    case WM_INITDIALOG:
      OnInitDialog();
      // On the licence page the licence box keeps the focus SetUpPages gave it.
      // (The dialog itself is not visible yet: the control's own style tells.)
      *result = (GetWindowLongPtrA(Item(IDC_LICENCE), GWL_STYLE) & WS_VISIBLE) ? FALSE : TRUE;
      return true;
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      int code = HIWORD(wParam);
      if (id == IDOK && code == BN_CLICKED) {
        OnInstall();
      } else if (id == IDCANCEL && code == BN_CLICKED) {
        OnCancel();
        *result = 1;
      } else if (id == IDC_ACCEPT && code == BN_CLICKED) {
        ShowOptionsPage();
      } else if (id == IDC_FOLDER && code == EN_CHANGE) {
        UpdateSpace();
      } else if (id == IDC_BROWSE && code == BN_CLICKED) {
        OnBrowse();
      } else if ((id == IDC_SCOPE_ALL || id == IDC_SCOPE_USER) && code == BN_CLICKED) {
        OnScopeChanged(id == IDC_SCOPE_USER);
      } else if (id == IDC_LANGUAGE && code == CBN_SELCHANGE) {
        OnLanguageChanged();
      } else {
        return false;
      }
      return true;
    }
    case kStartPassive:
      // The dialog would only show once its message loop idles, which the install does not let
      // it do. No licence to agree to: the page goes as the choices' pages do.
      ShowWindow(window_, SW_SHOW);
      ShowOptionsPage();
      OnInstall();
      return true;
    case WM_CTLCOLORSTATIC:
      *result = OnCtlColorStatic(reinterpret_cast<HWND>(lParam));
      return true;
    case WM_NCDESTROY:
      window_ = nullptr;
      listView_ = nullptr;
      return false;
  }
  return false;
}

void InstallWizard::OnInitDialog() {
  *icon_.Receive() = static_cast<HICON>(
      LoadImageA(Module::Instance(), MAKEINTRESOURCEA(IDI_INSTALLER), IMAGE_ICON, 16, 16, 0));
  if (icon_.Valid()) SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.Get()));
  CentreWindow();
  // Unsettled, the choice starts where the user can install: for every user only with
  // administrator rights.
  if ((productFlags & kProductScopeChoice) && !ScopeSettled()) UseScope(!IsUserAnAdmin());
  SetUpComponentList();
  SetUpPages();
  SelectStartLanguage();
  SendDlgItemMessageA(window_, IDC_FILE_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SendDlgItemMessageA(window_, IDC_TOTAL_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  if (passive_) PostMessageA(window_, kStartPassive, 0, 0);
}

void InstallWizard::CentreWindow() {
  RECT area;
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) return;
  RECT over = area;
  HWND owner = GetWindow(window_, GW_OWNER);
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &over);
  RECT own;
  GetWindowRect(window_, &own);
  int width = own.right - own.left;
  int height = own.bottom - own.top;
  int x = over.left + (over.right - over.left - width) / 2;
  int y = over.top + (over.bottom - over.top - height) / 2;
  if (x < area.left) {
    x = area.left;
  } else if (x + width > area.right) {
    x = area.right - width;
  }
  if (y < area.top) {
    y = area.top;
  } else if (y + height > area.bottom) {
    y = area.bottom - height;
  }
  SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void InstallWizard::SetUpPages() {
  Text title = productName;
  if (!productVersion.Empty()) title = title + " " + productVersion;
  if (!companyName.Empty()) title = title + " - " + companyName;
  SetText(window_, title);
  FillComponentList();
  if (HBITMAP bitmap = LoadLogo()) {
    *logo_.Receive() = ScaledForScreen(bitmap);
    SendDlgItemMessageA(window_, IDC_LOGO, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo_.Get()));
    ShowWindow(Item(IDC_LOGO), SW_SHOW);
  }
  FillLanguageCombo(IDC_LANGUAGE);
  SetText(Item(IDC_FOLDER), productPath);
  FillMenuCombo();
  Text licence = ReadEntryString("EULA");
  if (licence.Empty()) {
    ShowOptionsPage();
    return;
  }
  StreamLicence(licence);
  ShowGroup(kOptionsGroup, false);
  ShowGroup(kLicenceGroup, true);
  SendMessageA(window_, DM_SETDEFID, IDC_ACCEPT, 0);
  SetFocus(Item(IDC_LICENCE));
}

void InstallWizard::ShowOptionsPage() {
  ShowGroup(kLicenceGroup, false);
  ShowGroup(kOptionsGroup, true);
  // Enter presses the button that is shown: I Agree on the licence page, Install here.
  SendMessageA(window_, DM_SETDEFID, IDOK, 0);
  if (!(productFlags & kProductMenuChangeable)) LockMenu();
  if (!(productFlags & kProductFolderChangeable)) LockFolder();
  if (productFlags & kProductScopeChoice) {
    ShowGroup(kScopeGroup, true);
    CheckRadioButton(window_, IDC_SCOPE_ALL, IDC_SCOPE_USER, PerUser() ? IDC_SCOPE_USER : IDC_SCOPE_ALL);
  }
}

void InstallWizard::OnScopeChanged(bool forCurrentUser) {
  if (forCurrentUser == PerUser()) return;
  UseScope(forCurrentUser);
  SetText(Item(IDC_FOLDER), productPath);
  SendDlgItemMessageA(window_, IDC_MENU, CB_RESETCONTENT, 0, 0);
  FillMenuCombo();
}

void InstallWizard::ShowGroup(const int* group, bool show) {
  for (; *group != -1; ++group) ShowWindow(Item(*group), show ? SW_SHOW : SW_HIDE);
}

Text InstallWizard::ItemText(int id, uint32_t limit) const {
  wchar_t buffer[kPathLimit + 1];
  if (limit > kPathLimit) limit = kPathLimit;
  int length = GetDlgItemTextW(window_, id, buffer, int(limit + 1));
  return WideText::ToText(buffer, length > 0 ? length : 0);
}

// Every offset and size in the header is checked against the entry's length: a header that
// points outside its bytes gives no logo.
HBITMAP InstallWizard::LoadLogo() {
  uint32_t size = 0;
  uint8_t* bytes = ExtractToMemory("Logo.bmp", &size);
  if (!bytes) return nullptr;
  HBITMAP bitmap = nullptr;
  const uint32_t kInfoAt = 14;
  if (size >= kInfoAt + sizeof(BITMAPINFOHEADER) && bytes[0] == 'B' && bytes[1] == 'M') {
    const uint8_t* info = bytes + kInfoAt;
    uint32_t pixelsAt = ReadU32(bytes + 10);
    uint32_t headerSize = ReadU32(info);
    int32_t width = int32_t(ReadU32(info + 4));
    int32_t height = int32_t(ReadU32(info + 8));
    uint32_t bitsPerPixel = ReadU16(info + 14);
    uint32_t compression = ReadU32(info + 16);
    uint32_t imageSize = ReadU32(info + 20);
    uint32_t coloursUsed = ReadU32(info + 32);
    int64_t tableBytes = ColourTableBytes(headerSize, bitsPerPixel, compression, coloursUsed);
    int64_t absHeight = height < 0 ? -int64_t(height) : int64_t(height);
    int64_t rowBytes = ((int64_t(width) * bitsPerPixel + 31) / 32) * 4;
    int64_t sectionBytes = rowBytes * absHeight;
    int64_t pixelBytes = imageSize ? imageSize : sectionBytes;
    // The section holds exactly sectionBytes; a larger image-size field copies no more.
    int64_t copyBytes = pixelBytes < sectionBytes ? pixelBytes : sectionBytes;
    // A logo is small; the limits also keep every product below in 64 bits.
    bool fits = headerSize >= sizeof(BITMAPINFOHEADER) && width > 0 && width <= kLogoLimit && height != 0 &&
                absHeight <= kLogoLimit && bitsPerPixel > 0 && bitsPerPixel <= 32 &&
                int64_t(kInfoAt) + headerSize + tableBytes <= size &&
                int64_t(pixelsAt) + pixelBytes <= size;
    void* pixels = nullptr;
    if (fits) {
      bitmap = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info), DIB_RGB_COLORS, &pixels,
                                nullptr, 0);
    }
    // Top-down rows lie in the section in the order they lie in the file, so both kinds copy alike.
    if (bitmap && pixels) CopyMemory(pixels, bytes + pixelsAt, size_t(copyBytes));
  }
  MemFree(bytes);
  return bitmap;
}

void InstallWizard::StreamLicence(const Text& licence) {
  LicenceStream stream = {licence.Data(), licence.Length()};
  EDITSTREAM edit = {};
  edit.dwCookie = reinterpret_cast<DWORD_PTR>(&stream);
  edit.pfnCallback = ReadLicence;
  SendDlgItemMessageA(window_, IDC_LICENCE, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&edit));
}

INT_PTR InstallWizard::OnCtlColorStatic(HWND control) {
  if (GetDlgCtrlID(control) != IDC_LICENCE) return 0;
  return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
}

void InstallWizard::OnInstall() {
  // The choice may have stopped fitting since the button was enabled (the disk filled up, or
  // the click came as a message): then nothing is installed and the user stays on this page,
  // with the choices not yet committed, so that a later click commits them once.
  bool installed = CanInstall();
  if (installed && ElevatedRun::Needed(*this)) {
    InstallElevated();
    return;
  }
  if (installed) {
    CommitChoices();
    installed = RunInstall();
  }
  if (!installed) {
    // A passive run has no user to change the choices.
    if (passive_) {
      EndDialog(window_, kPassiveRefused);
      return;
    }
    UpdateSpace();
    return;
  }
  ShowWindow(window_, SW_HIDE);
  // After a damaged entry stopped the run, the caller names it instead of reporting success.
  if (DamagedEntry().Empty() && !passive_)
    MessageBoxW(window_, WideText(ClosingMessage()), WideText(productName),
                MB_OK | MB_SETFOREGROUND | (Failures().Count() ? MB_ICONWARNING : 0));
  EndDialog(window_, 1);
}

void InstallWizard::InstallElevated() {
  InstallerSwitches choices;
  choices.passive = true;
  Text language = ReadEntryString((LanguageKey(languageIndex_) + "id").CStr());
  // The package's own decimal identifier.
  for (uint32_t i = 0; i < language.Length(); ++i) choices.language = uint16_t(choices.language * 10 + (language[i] - '0'));
  choices.destination = ItemText(IDC_FOLDER, kPathLimit);
  for (uint32_t i = 0; i < components.Count(); ++i) {
    if (!components[i].listed) continue;
    choices.hasComponents = true;
    if (components[i].selected && !choices.components.Append(components[i].name)) return;
  }
  choices.logPath = Log().Path();
  // The elevated installer shows its own progress window in place of this one.
  ShowWindow(window_, SW_HIDE);
  uint32_t exitCode = kExitFailed;
  if (!ElevatedRun::Run(*this, choices, &exitCode)) {
    ShowWindow(window_, SW_SHOW);
    return;
  }
  elevatedExitCode_ = exitCode;
  // It ended without a closing message: the user learns the outcome here.
  Text message;
  if (exitCode == kExitInstalled || exitCode == kExitRestartNeeded) {
    message = GetString(kFinishedString);
    if (exitCode == kExitRestartNeeded) message = message + "\r\n\r\n" + StringOr(kRestartString, kRestartText);
  } else {
    message = "The installation for all users did not complete (exit code ";
    message.AppendDecimal(exitCode);
    message.Append(").");
  }
  MessageBoxA(window_, message.CStr(), productName.CStr(),
              MB_OK | MB_SETFOREGROUND | (exitCode == kExitInstalled ? 0 : MB_ICONWARNING));
  EndDialog(window_, kHandedOn);
}

// Success only when nothing failed; a restart still needed is asked for after either.
Text InstallWizard::ClosingMessage() {
  Text message;
  if (Failures().Count() == 0) {
    message = GetString(kFinishedString);
  } else {
    message = StringOr(kFailuresString, kFailuresText);
    message.Append(ListedItems::Format(Failures(), kListedFailures, kMoreFailures));
  }
  if (RestartNeeded()) {
    if (!message.Empty()) message.Append("\r\n\r\n");
    message.Append(StringOr(kRestartString, kRestartText));
  }
  return message;
}

Text InstallWizard::StringOr(int number, const char* fallback) {
  Text text = GetString(number);
  return text.Empty() ? Text(fallback) : text;
}

void InstallWizard::OnCancel() { EndDialog(window_, 2); }

// Languages.

void InstallWizard::FillLanguageCombo(int id) {
  for (int n = 0;; ++n) {
    Text name = ReadEntryString((LanguageKey(n) + "name").CStr());
    if (name.Empty()) return;
    LRESULT at = SendDlgItemMessageW(window_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideText(name).Get()));
    if (at >= 0) SendDlgItemMessageA(window_, id, CB_SETITEMDATA, WPARAM(at), LPARAM(n));
  }
}

int InstallWizard::FindLanguage(uint16_t languageId) {
  Text wanted;
  wanted.AppendDecimal(languageId);
  for (int n = 0;; ++n) {
    Text id = ReadEntryString((LanguageKey(n) + "id").CStr());
    if (id.Empty()) return -1;
    if (id == wanted) {
      languageIndex_ = n;
      return n;
    }
  }
}

uint16_t InstallWizard::RunLanguage() {
  if (!window_ && startLanguage_ == 0) return 0;
  return LanguageIdOf(ReadEntryString((LanguageKey(languageIndex_) + "id").CStr()));
}

bool InstallWizard::UseLanguage(uint16_t languageId) {
  if (FindLanguage(languageId) < 0) return false;
  startLanguage_ = languageId;
  return true;
}

int InstallWizard::FindPrimaryLanguage(uint16_t languageId) {
  for (int n = 0;; ++n) {
    Text id = ReadEntryString((LanguageKey(n) + "id").CStr());
    if (id.Empty()) return -1;
    if (PRIMARYLANGID(LanguageIdOf(id)) == PRIMARYLANGID(languageId)) {
      languageIndex_ = n;
      return n;
    }
  }
}

bool InstallWizard::FindSystemLanguage() {
  if (!IsUnicode()) return FindLanguage(GetSystemDefaultLangID()) >= 0;
  LANGID user = GetUserDefaultUILanguage();
  LANGID system = GetSystemDefaultUILanguage();
  return FindLanguage(user) >= 0 || FindLanguage(system) >= 0 || FindPrimaryLanguage(user) >= 0 ||
         FindPrimaryLanguage(system) >= 0;
}

void InstallWizard::SelectStartLanguage() {
  if ((startLanguage_ == 0 || FindLanguage(startLanguage_) < 0) && !FindSystemLanguage() && FindLanguage(kEnglish) < 0)
    languageIndex_ = 0;
  HWND list = Item(IDC_LANGUAGE);
  LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    if (SendMessageA(list, CB_GETITEMDATA, WPARAM(i), 0) == languageIndex_) {
      SendMessageA(list, CB_SETCURSEL, WPARAM(i), 0);
      break;
    }
  }
  OnLanguageChanged();
}

void InstallWizard::OnLanguageChanged() {
  HWND list = Item(IDC_LANGUAGE);
  LRESULT selection = SendMessageA(list, CB_GETCURSEL, 0, 0);
  // No selection reads as CB_ERR (-1): every lookup then finds nothing.
  languageIndex_ = int(SendMessageA(list, CB_GETITEMDATA, WPARAM(selection), 0));
  dialogNumber_ = kDialogNumber;
  EnumChildWindows(window_, ApplyControlTextProc, reinterpret_cast<LPARAM>(this));
  if (IsUnicode()) LayOut(IsRightToLeft(LanguageIdOf(ReadEntryString((LanguageKey(languageIndex_) + "id").CStr()))));
  UpdateSpace();
}

void InstallWizard::LayOut(bool rightToLeft) {
  LONG_PTR style = GetWindowLongPtrW(window_, GWL_EXSTYLE);
  if (((style & WS_EX_LAYOUTRTL) != 0) == rightToLeft) return;
  // A control keeps its coordinates, which count from the other edge once the dialog turns:
  // so every control lands at its mirror image.
  const int kMostControls = 64;
  HWND controls[kMostControls];
  RECT places[kMostControls];
  int count = 0;
  for (HWND control = GetWindow(window_, GW_CHILD); control && count < kMostControls;
       control = GetWindow(control, GW_HWNDNEXT)) {
    GetWindowRect(control, &places[count]);
    MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&places[count]), 2);
    controls[count++] = control;
  }
  SetWindowLongPtrW(window_, GWL_EXSTYLE, style ^ WS_EX_LAYOUTRTL);
  for (int i = 0; i < count; ++i) {
    LONG_PTR own = GetWindowLongPtrW(controls[i], GWL_EXSTYLE);
    SetWindowLongPtrW(controls[i], GWL_EXSTYLE, rightToLeft ? own | WS_EX_LAYOUTRTL : own & ~WS_EX_LAYOUTRTL);
    SetWindowPos(controls[i], nullptr, places[i].left, places[i].top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  InvalidateRect(window_, nullptr, TRUE);
}

BOOL CALLBACK InstallWizard::ApplyControlTextProc(HWND control, LPARAM self) {
  reinterpret_cast<InstallWizard*>(self)->ApplyControlText(control);
  return TRUE;
}

void InstallWizard::ApplyControlText(HWND control) {
  int id = GetDlgCtrlID(control);
  if (id == -1) return;
  Text key = LanguageKey(languageIndex_);
  key.AppendDecimal(dialogNumber_);
  key.Append('.');
  key.AppendDecimal(id);
  Text text = ReadEntryString(key.CStr());
  if (text.Empty()) return;
  ExpandText(text);
  SetText(control, text);
}

Text InstallWizard::GetString(int number) {
  Text key = LanguageKey(languageIndex_);
  key.Append('_');
  key.AppendDecimal(number);
  return ReadEntryString(key.CStr());
}

// Components and destination.

void InstallWizard::SetUpComponentList() {
  listView_ = Item(IDC_COMPONENTS);
  SendMessageA(listView_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES | LVS_EX_FLATSB);
  RECT client;
  GetClientRect(listView_, &client);
  wchar_t header[] = L"<>";
  LVCOLUMNW column = {};
  column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  column.fmt = 0x800;
  column.cx = client.right;
  column.pszText = header;
  column.iSubItem = 0;
  SendMessageW(listView_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  ShowWindow(listView_, SW_SHOW);
}

void InstallWizard::FillComponentList() {
  int count = 0;
  for (uint32_t i = 0; i < components.Count(); ++i) {
    if (!components[i].listed) continue;
    LVITEMW item = {};
    WideText name(components[i].name);
    // The data goes in with the item, so that every change notification can name its component.
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = count;
    item.pszText = const_cast<wchar_t*>(name.Get());
    item.lParam = LPARAM(i);
    LRESULT at = SendMessageW(listView_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (at < 0) continue;
    ++count;
    LVITEMA state = {};
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = INDEXTOSTATEIMAGEMASK(components[i].selected ? 2 : 1);
    SendMessageA(listView_, LVM_SETITEMSTATE, WPARAM(at), reinterpret_cast<LPARAM>(&state));
  }
  if (count > 4) {
    RECT client;
    GetClientRect(listView_, &client);
    SendMessageA(listView_, LVM_SETCOLUMNWIDTH, 0, client.right - GetSystemMetrics(SM_CXVSCROLL) - 10);
  }
}

void InstallWizard::OnComponentChanged(const NMLISTVIEW& change) {
  uint32_t i = uint32_t(change.lParam);
  if (i >= components.Count()) return;
  if (change.uChanged == LVIF_STATE && change.uOldState != 0) {
    UINT state = UINT(SendMessageA(listView_, LVM_GETITEMSTATE, WPARAM(change.iItem), LVIS_STATEIMAGEMASK));
    components[i].selected = (state >> 12) != 1;
  }
  if (change.uNewState & LVIS_SELECTED) SetText(Item(IDC_DESCRIPTION), components[i].description);
  UpdateSpace();
}

void InstallWizard::FillMenuCombo() {
  Text added = ReadEntryString("AddedMenu");
  ExpandText(added);
  HWND combo = Item(IDC_MENU);
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideText(added).Get()));
  Text base = ProgramsMenuBase();
  productMenu = base;
  SetVariable("ProductMenu", base);
  Text folder = base;
  ExpandText(folder);
  folder.TrimRight('\\');
  // An empty programs-menu variable must not make the search list the drive's root.
  FolderListing listing;
  if (!folder.Empty() && listing.Open(folder)) {
    while (listing.Next()) {
      if (!listing.IsFolder()) continue;
      Text item = listing.Name() + "\\" + added;
      SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideText(item).Get()));
    }
  }
  SendMessageA(combo, CB_SETCURSEL, 0, 0);
}

void InstallWizard::LockFolder() {
  ShowWindow(Item(IDC_BROWSE), SW_HIDE);
  HWND folder = Item(IDC_FOLDER);
  SendMessageA(folder, EM_SETREADONLY, TRUE, 0);
  RECT list, own;
  GetWindowRect(listView_, &list);
  GetWindowRect(folder, &own);
  SetWindowPos(folder, nullptr, 0, 0, list.right - list.left, own.bottom - own.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void InstallWizard::LockMenu() {
  SetText(Item(IDC_MENU_FIXED), ItemText(IDC_MENU, 259));
  HWND menu = Item(IDC_MENU);
  EnableWindow(menu, FALSE);
  ShowWindow(menu, SW_HIDE);
  ShowWindow(Item(IDC_MENU_FIXED), SW_SHOW);
}

void InstallWizard::OnBrowse() {
  Text title = GetString(5);
  Text current = ItemText(IDC_FOLDER, kPathLimit);
  WideText wideTitle(title);
  WideText wideCurrent(current);
  wchar_t display[MAX_PATH];
  BROWSEINFOW info = {};
  info.hwndOwner = window_;
  info.pszDisplayName = display;
  info.lpszTitle = wideTitle;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
  info.lpfn = BrowseStart;
  info.lParam = reinterpret_cast<LPARAM>(wideCurrent.Get());
  LPITEMIDLIST picked = SHBrowseForFolderW(&info);
  if (!picked) return;
  wchar_t path[kPathLimit + 1];
  if (SHGetPathFromIDListW(picked, path)) {
    productPath = WideText::ToText(path);
    productPath.TrimRight('\\');
    if (!addedFolder.Empty()) productPath = productPath + "\\" + addedFolder;
    SetText(Item(IDC_FOLDER), productPath);
  }
  IMalloc* allocator = nullptr;
  if (SUCCEEDED(SHGetMalloc(&allocator))) {
    allocator->Free(picked);
    allocator->Release();
  }
}

// Sizing the selection may walk external folders, so the button and the line share one count.
void InstallWizard::UpdateSpace() {
  Text folder = ItemText(IDC_FOLDER, kPathLimit);
  uint32_t free = folder.Empty() ? 0 : FreeSpaceKb(folder);
  uint32_t required = RequiredSpaceKb();
  EnableWindow(Item(IDOK), Installable(folder, free, required));
  Text line = WizardText::FormatTwoStrings(GetString(7), WizardText::FormatSize(required),
                                           WizardText::FormatSize(free));
  SetText(Item(IDC_SPACE), line);
}

bool InstallWizard::CanInstall() {
  if (!window_) return true;
  Text folder = ItemText(IDC_FOLDER, kPathLimit);
  return !folder.Empty() && Installable(folder, FreeSpaceKb(folder), RequiredSpaceKb());
}

bool InstallWizard::Installable(const Text& folder, uint32_t freeKb, uint32_t requiredKb) const {
  // A drive-relative or rooted path would install into whatever folder is current.
  if (!IsFullPath(folder) || !FitsPathLimit(folder) || freeKb < requiredKb) return false;
  for (uint32_t i = 0; i < components.Count(); ++i)
    if (components[i].selected) return true;
  return false;
}

void InstallWizard::CommitChoices() {
  productPath = ItemText(IDC_FOLDER, kPathLimit);
  Text menu = ItemText(IDC_MENU, 259);
  SetVariable("ProductPath", productPath);
  menu.TrimLeft('\\');
  productMenu.Append(menu);
  SetVariable("ProductMenu", productMenu);
}

// Progress.

void InstallWizard::EnterProgressState() {
  SetText(Item(IDC_COMPONENTS_LABEL), GetString(6));
  LockFolder();
  LockMenu();
  ShowGroup(kInstallHideGroup, false);
  ShowGroup(kInstallShowGroup, true);
  EnableWindow(Item(IDOK), FALSE);
  EnableWindow(Item(IDCANCEL), FALSE);
  EnableWindow(Item(IDC_LANGUAGE), FALSE);
}

void InstallWizard::OnProgress(const Text& item, int percent) {
  if (productFlags & kProductUnattended) return;
  if (window_ && percent != 0) ShowFileProgress(item, percent);
  PumpMessages();
}

void InstallWizard::ShowFileProgress(const Text& item, int percent) {
  Text shown = WizardText::ShortenPath(item, 35, WideText::IsLeadByte);
  SetText(Item(IDC_FILE), shown);
  SendDlgItemMessageA(window_, IDC_FILE_PROGRESS, PBM_SETPOS, WPARAM(percent), 0);
}

void InstallWizard::UpdateOverallProgress() {
  if (!window_ || totalKb == 0) return;
  // In 64 bits, so that installs past 21 GB do not wrap; the bar stops at its maximum.
  uint64_t percent = uint64_t(doneKb) * 100 / totalKb;
  SendDlgItemMessageA(window_, IDC_TOTAL_PROGRESS, PBM_SETPOS, WPARAM(percent > 100 ? 100 : percent), 0);
}

// One message per call keeps long work responsive without letting it starve.
void InstallWizard::PumpMessages() {
  MSG message;
  if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}
