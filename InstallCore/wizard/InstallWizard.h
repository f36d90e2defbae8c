#pragma once
#include <windows.h>
#include <commctrl.h>

#include "InstallEngine.h"
#include "OwnedHandle.h"

// The run's one object: the install engine with the wizard dialog (template 201) on top. The
// dialog's first message binds its window to the object registered with the module; every later
// message goes to HandleMessage.
class InstallWizard : public InstallEngine {
 public:
  explicit InstallWizard(const char* path);
  ~InstallWizard() override;

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  void OnProgress(const Text& item, int percent) override;
  void PumpMessages() override;
  void UpdateOverallProgress() override;
  bool CanInstall() override;
  void EnterProgressState() override;
  // The language shown, or named by /LANG= for a run without the wizard.
  uint16_t RunLanguage() override;

  // Starts the wizard in the language of that identifier; false when the package has none.
  bool UseLanguage(uint16_t languageId);
  // Shows only the progress: the install starts at once with the choices made so far, and the
  // dialog ends without a closing message, and no script's message waits for a click. When the
  // choices cannot be installed, the dialog ends with kPassiveRefused.
  void SetPassive() {
    passive_ = true;
    AnswerMessages();
  }
  static const INT_PTR kPassiveRefused = IDABORT;
  // The dialog ended after an elevated installer installed the choices for all users; its exit
  // code is the run's.
  static const INT_PTR kHandedOn = IDRETRY;
  uint32_t ElevatedExitCode() const { return elevatedExitCode_; }

 private:
  // Handles one message; false sends it on to the default dialog handling. *result is the
  // dialog procedure's return value when handled.
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result);

  // The dialog and its pages.
  void OnInitDialog();
  void CentreWindow();
  void SetUpPages();
  void ShowOptionsPage();
  HBITMAP LoadLogo();
  void StreamLicence(const Text& licence);
  INT_PTR OnCtlColorStatic(HWND control);
  void OnInstall();
  // All users chosen without the rights for it: an elevated installer installs the choices,
  // showing only its progress; a refused prompt leaves the user on this page.
  void InstallElevated();
  Text ClosingMessage();
  void OnCancel();
  void ShowGroup(const int* group, bool show);
  HWND Item(int id) const { return GetDlgItem(window_, id); }
  Text ItemText(int id, uint32_t limit) const;

  // Languages.
  void FillLanguageCombo(int id);
  int FindLanguage(uint16_t languageId);
  // The first language of the same primary language (any Portuguese for Portuguese (Portugal)).
  int FindPrimaryLanguage(uint16_t languageId);
  // The system's language; in a Unicode package the user's, the system's, then either's kin.
  bool FindSystemLanguage();
  void SelectStartLanguage();
  // Mirrors the dialog and its controls for a language read from the right, and back.
  void LayOut(bool rightToLeft);
  void OnLanguageChanged();
  Text GetString(int number);
  // The numbered string, or the given English text when the package has none.
  Text StringOr(int number, const char* fallback);
  void ApplyControlText(HWND control);
  static BOOL CALLBACK ApplyControlTextProc(HWND control, LPARAM self);

  // Components and destination.
  void SetUpComponentList();
  void FillComponentList();
  void OnComponentChanged(const NMLISTVIEW& change);
  void FillMenuCombo();
  void LockFolder();
  void LockMenu();
  void OnBrowse();
  // The user chose every user or just themselves: the folder and the Start-menu choices follow.
  void OnScopeChanged(bool forCurrentUser);
  void UpdateSpace();
  // A destination, room for the selection, and something selected.
  bool Installable(const Text& folder, uint32_t freeKb, uint32_t requiredKb) const;
  void CommitChoices();

  // Progress.
  void ShowFileProgress(const Text& item, int percent);

  HWND window_;
  int languageIndex_;
  int dialogNumber_;
  IconHandle icon_;
  GdiObject logo_;
  HWND listView_;
  uint16_t startLanguage_;  // asked for on the command line; 0 when not
  bool passive_;
  uint32_t elevatedExitCode_;
};
