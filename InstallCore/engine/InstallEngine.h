#pragma once
#include <windows.h>
#include <stdint.h>

#include "ActionRecord.h"
#include "ExitCodes.h"
#include "InstallLog.h"
#include "FolderTrail.h"
#include "InstallerObject.h"
#include "List.h"
#include "OwnedHandle.h"
#include "PackageReader.h"
#include "Text.h"
#include "UninstallJournal.h"
#include "UninstallLog.h"
#include "VariableTable.h"

struct Component {
  Text name;
  Text description;
  bool listed;    // shown in the wizard's component list
  bool selected;  // installed
};

// Bits of the product's "flags" entry.
const uint32_t kProductUnattended = 1;
const uint32_t kProductFolderChangeable = 2;
const uint32_t kProductMenuChangeable = 4;
// Installed for the current user unless the user or the command line chooses every user.
const uint32_t kProductPerUser = 8;
// The user or the command line may choose between every user and the current one.
const uint32_t kProductScopeChoice = 16;

struct DeferredProgram {
  Text program;
  Text arguments;
};

// Performs an installation out of the package: product data, components and variables, the
// install actions, the uninstall log and registration, and the install run.
class InstallEngine : public PackageReader, public IInstallerObject {
 public:
  // Reads the package appended to the installer at path.
  explicit InstallEngine(const char* path);
  ~InstallEngine() override;

  virtual void WriteLog(int type, const Text& line);
  virtual void PumpMessages() = 0;
  virtual void ExpandText(Text& text);
  virtual void ExpandBstr(BSTR* text);
  virtual HRESULT InstallService(BSTR name, BSTR displayName, BSTR description, BSTR executable,
                                 uint32_t startType);
  virtual HRESULT CopyFolder(BSTR source, BSTR destination);
  virtual void UpdateOverallProgress();
  virtual bool CanInstall();
  // Switches the wizard, when there is one, into its progress state before the first action.
  virtual void EnterProgressState();
  // The Windows language identifier of the texts the run shows; 0 when it shows none (an
  // unattended run for which no language was named).
  virtual uint16_t RunLanguage();

  // IUnknown and IDispatch. The object's lifetime is the engine's: no references are counted.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

  // IInstallerObject.
  HRESULT STDMETHODCALLTYPE VersionMajor(short* value) override;
  HRESULT STDMETHODCALLTYPE VersionMinor(short* value) override;
  HRESULT STDMETHODCALLTYPE CopyFile(BSTR source, BSTR destination) override;
  HRESULT STDMETHODCALLTYPE RunProgram(BSTR program, BSTR arguments, VARIANT_BOOL wait, LONG* exitCode) override;
  HRESULT STDMETHODCALLTYPE CreateShortcut(BSTR shortcutFile, BSTR target, BSTR description, BSTR arguments,
                                           BSTR workingFolder, BSTR iconFile, short iconIndex, short showCommand,
                                           short hotKey) override;
  HRESULT STDMETHODCALLTYPE RegisterFont(BSTR fontFile) override;
  HRESULT STDMETHODCALLTYPE RegisterServer(BSTR libraryFile) override;
  HRESULT STDMETHODCALLTYPE RegisterTypeLib(BSTR typeLibraryFile, BSTR helpFolder) override;
  HRESULT STDMETHODCALLTYPE ShowMessage(BSTR text, BSTR caption, LONG style, LONG* button) override;
  HRESULT STDMETHODCALLTYPE Variables(BSTR name, BSTR* value) override;
  HRESULT STDMETHODCALLTYPE Variables(BSTR name, BSTR value) override;
  HRESULT STDMETHODCALLTYPE CancelInstall() override;
  HRESULT STDMETHODCALLTYPE CreateObject(BSTR progId, IDispatch** object) override;
  HRESULT STDMETHODCALLTYPE AddRegKey(BSTR keyPath, LONG valueType, VARIANT value) override;

  void AddVariable(const Text& name, const Text& value);
  void SetVariable(const Text& name, const Text& value);
  Text GetVariable(const Text& name) const;

  uint32_t ProductFlags() const { return productFlags; }

  // Whether the product goes to the current user only (see InstallScope); set from the product
  // flags, or for a package that offers the choice, by an earlier install's scope.
  bool PerUser() const { return perUser; }
  // Whether the scope is settled: by an earlier install of the product, or by UseScope.
  bool ScopeSettled() const { return scopeSettled; }
  // Installs for the current user only, or for every user: the folders that follow the scope
  // change with it, and so does the default destination.
  void UseScope(bool forCurrentUser);

  // The log file the command line asks for (/LOG=FILE); closed unless it did.
  InstallLog& Log() { return installLog; }

  // Choices from the command line, made before the run.
  // /S: no wizard, and no message box either.
  void SetSilent() {
    productFlags |= kProductUnattended;
    AnswerMessages();
  }
  // No message waits for a click: what a script would show goes to the log, and its default
  // button answers.
  void AnswerMessages() { silent = true; }
  // The destination, also where the package does not let the user change it.
  void UseDestination(const Text& path);
  // Selects exactly those listed components whose names are given (letter case ignored);
  // components that are not listed keep their selection. False, with the first name that
  // matches no listed component, when one does not.
  bool SelectOnly(const List<Text>& names, Text* unknown);

  // Install actions.
  void RunComponentActions(uint32_t component);
  // True when the entry was written to the destination (and logged).
  bool InstallFile(const char* entry, const Text& destination, const FileStamp* stamp = nullptr);
  void CreateFolders(const Text& path);
  // 0, or the system's error code; the outcome is also reported.
  uint32_t SetRegistryValue(uint32_t root, const Text& path, uint32_t type, const uint8_t* data, uint32_t length);
  static Text RegistryRootPrefix(uint32_t root);
  // False when the program could not be started; exitCode, when given, is written only after a wait.
  // process, when given, receives the running program's handle when it is not waited for.
  bool StartProgram(const Text& program, const Text& arguments, bool wait, DWORD* exitCode,
                    KernelObject* process = nullptr);
  // Waits for handle while dispatching this thread's window messages; WAIT_OBJECT_0, WAIT_TIMEOUT
  // or the failure of the wait.
  static DWORD WaitWithMessages(HANDLE handle, DWORD timeout);
  void RunDeferredPrograms();

  // Uninstall log and registration.
  // Deletes the temporary files and folders of a component. Those in the folder of a program
  // deferred from the temporary folder stay for it: that program runs to its end before the
  // engine's end removes the whole temporary folder.
  void CleanTempFiles();
  // Deletes this run's temporary folder with everything in it; the engine's end does it too.
  void RemoveTempFolder();
  // Writes the log and completes the registration, in the folder ProductPath names by now.
  void RegisterUninstall();
  // The details Windows shows of an installed product, below the registration's key prefix;
  // each value is logged, so the uninstaller removes it.
  void WriteProductDetails(const Text& key);

  // The outcome of one install action, named by a short text with its target (such as
  // "File C:\Product\a.txt"): error 0 for success, else the system's error code. Failures are
  // counted and named for the closing message and the exit code, and go to the install log when
  // one is open.
  void ReportOutcome(const Text& action, uint32_t error);
  // The run's verdict: kExitInstalled, kExitInstalledWithFailures (which wins) or kExitRestartNeeded.
  uint32_t RunExitCode() const;
  // The error code of a failed HRESULT for ReportOutcome; 0 for success.
  static uint32_t FailureCode(HRESULT hr);
  // The failed actions in the order they failed, each with its error.
  const List<Text>& Failures() const { return failures; }
  bool RestartNeeded() const { return restartNeeded; }

  // Install run and disk space, in kilobytes. RunInstall is false when CanInstall refused the
  // run, or the destination is no full path or too long (FitsPathLimit) while there is something
  // to install; the run then changed nothing.
  bool RunInstall();
  // Whether the folder leaves room within the system's path limit for the longest name of the
  // uninstall record (Uninst99.log.journal): from a longer one the uninstaller could not be
  // started, or not open its log. Any folder fits a package without an uninstaller.
  bool FitsPathLimit(const Text& folder) const;
  // Without the wizard, the Start-menu folder is the product's default one.
  void UseDefaultMenu();
  // The user's or the common programs menu, as the product data choose, unexpanded and with a
  // closing backslash.
  Text ProgramsMenuBase();
  uint32_t ComponentSizeKb(uint32_t component);
  uint32_t FolderSizeKb(const Text& path);
  uint32_t RequiredSpaceKb();
  uint32_t FreeSpaceKb(const Text& path);

 protected:
  uint32_t totalKb;
  uint32_t doneKb;
  UninstallLog logText;
  bool noUninstaller;
  List<Text> tempFiles;
  List<Text> tempFolders;
  List<DeferredProgram> deferredPrograms;
  VariableTable variables;
  Text productPath;
  Text productMenu;
  Text productName;
  Text productVersion;
  Text companyName;
  Text tempPath;  // this run's own temporary folder, or empty when none could be made
  Text addedFolder;
  Text installerPath;
  uint32_t productFlags;
  List<Component> components;
  List<Text> failures;
  bool restartNeeded;
  InstallLog installLog;
  bool perUser;
  bool scopeSettled;

 private:
  bool silent;
  Text knownFolder;  // the folder of the last path CreateFolders handled
  // Folders this run made: whatever they hold, the run put there (or a program it started).
  List<Text> madeFolders;
  uint32_t lastMadeFolder = 0;
  UninstallJournal journal;
  Text logName;          // Uninst.log, unless the destination holds another product's
  Text uninstallerName;  // uninst.exe, numbered like the log
  Text registeredPath;   // the folder the registration points at; empty before it is made
  Text registeredLog;    // the log of an install registered before this run, or empty
  FolderTrail copyTrail;  // the source folders CopyFolder is inside
  void LoadProductData();
  void LoadComponents();
  void AddBuiltInVariables();
  void RunAction(const Text& name, const uint8_t* bytes, uint32_t size);
  void RunFileAction(const Text& name, const FileAction& action, uint32_t type);
  void RunRegistryAction(RegistryAction& action);
  void RunProgramAction(const ProgramAction& action);
  // Writes a new file at the path it is given; false when it could not.
  typedef bool (*FileWrite)(InstallEngine& engine, const char* path, void* context);
  // Writes the file at path through write, also over a read-only, hidden or system file; a file
  // in use is written beside it and takes its place at the next restart, while one refused for
  // lack of rights fails. 0, or the error. A file found in place outside the product's folder is
  // counted as shared.
  uint32_t PlaceFile(const Text& path, FileWrite write, void* context);
  // Whether a file at path may have been there before this run: false in a folder the run made.
  bool MayBePresent(const Text& path);
  uint32_t WriteOver(const Text& path, FileWrite write, void* context);
  // One user more in the system's count of a shared file's users.
  void CountSharedFile(const Text& path);
  // Keeps the lines of this product's earlier log or journal at path; false when there is none.
  bool KeepEarlierLog(const Text& path, bool oldestFirst);
  // Chooses the log's slot in the product's folder and keeps the lines of an earlier log there.
  void ChooseUninstallLog();
  // The product's folder is the one the variable ProductPath names: when a script has set
  // another one, the uninstall record moves there at once (MoveUninstallRecord).
  void FollowProductPath();
  void MoveUninstallRecord();
  // One product, one entry: a product registered already is upgraded where it is, unless the
  // command line or the wizard name another folder; the registered log's lines are kept then.
  void FindRegisteredInstall();
  void StartUninstallRecord();
  void RegisterProduct();
  // The product's key below the system's list of installed programs, with a closing backslash.
  Text UninstallKey();
  // Adds the font and registers it for later sessions (logged); 0 or the system's error code.
  uint32_t AddFont(const Text& path);
  uint32_t FolderSizeKb(const Text& path, FolderTrail& trail);
  // Whether the temporary file lies in the folder of a deferred program in the temporary folder,
  // or below it: the program itself, or a library or data file it may need when it runs.
  bool IsForDeferredProgram(const Text& path) const;
  // Whether a run has a component or the uninstaller to install.
  bool InstallsAnything() const;
  // CreateDirectoryA, or for the product folder the protection it needs.
  bool CreateFolder(const Text& folder);
};
