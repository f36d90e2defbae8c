#include <windows.h>
#include <objbase.h>
#include <string.h>

#include "ElevatedProcess.h"
#include "InstallLog.h"
#include "InstallScope.h"
#include "ListedItems.h"
#include "LogFileText.h"
#include "MappedFile.h"
#include "SelfRelaunch.h"
#include "SystemApi.h"
#include "UninstallArguments.h"
#include "UninstallLog.h"
#include "UninstallLogReader.h"
#include "UninstallOutcome.h"
#include "Uninstaller.h"
#include "UninstallerTexts.h"
#include "WideText.h"

namespace {
// The final message names this many of the items left behind, and counts the rest.
const uint32_t kListedItems = 10;

// Hebrew and Arabic read from the right, and the whole box is mirrored for them.
int Show(const UninstallerTexts& texts, const Text& text, const Text& caption, UINT type) {
  if (texts.RightToLeft()) type |= MB_RTLREADING | MB_RIGHT;
  return MessageBoxW(nullptr, WideText(text), WideText(caption), type | MB_SETFOREGROUND);
}

// The log, and the journal an install left beside it if it ended early; false when there is
// neither.
bool ReadLog(const Text& path, UninstallLogReader* log) {
  if (path.Empty()) return false;
  MappedFile file;
  Text bytes;
  bool logged = file.Open(path.CStr()) && (bytes = LogFileText::Utf8Of(file), log->Read(bytes.Data(), bytes.Length()));
  Text journalPath = UninstallLog::JournalPath(path);
  MappedFile journal;
  bool journaled = journal.Open(journalPath.CStr()) &&
                   (bytes = LogFileText::Utf8Of(journal), log->AddJournal(bytes.Data(), bytes.Length(), journalPath));
  return logged || journaled;
}

// Writes the log anew with the lines still to undo, for a second run; false when it could not.
bool RewriteLog(const Text& path, const UninstallLogReader& log, const List<LogLine>& lines) {
  UninstallLog kept;
  for (uint32_t i = lines.Count(); i > 0; --i)
    if (!kept.Add(lines[i - 1].type, lines[i - 1].text)) return false;
  if (!log.UninstallerText().Empty()) {
    kept.SetTier(UninstallLog::kClosing);
    if (!kept.Add(UninstallLogReader::kUninstallerText, log.UninstallerText())) return false;
  }
  Text text;
  MappedFile file;
  // In the log's own code page, so that an older uninstaller still reads it.
  if (!kept.Render(log.Utf8() ? "\xEF\xBB\xBF" + log.ProductName() : log.ProductName(), &text)) return false;
  text = LogFileText::InLogCodePage(text, log.Utf8());
  if (!file.Create(path.CStr(), text.Length())) return false;
  memcpy(file.View(), text.Data(), text.Length());
  file.Close();
  // Its lines are in the log now.
  DeleteFileW(WideText(UninstallLog::JournalPath(path)));
  return true;
}

// Whether this program's own file is one the log will remove: it lies in the log's folder
// or in a folder the log removes.
bool RunsFromProduct(const UninstallLogReader& log, const Text& logPath) {
  Text own = ElevatedProcess::OwnFile();
  if (own.Empty()) return false;
  if (UninstallLog::IsInsideFolder(own, UninstallLog::FolderOf(logPath))) return true;
  for (const LogLine& line : log.Lines())
    if (line.type == UninstallLogReader::kFolder && UninstallLog::IsInsideFolder(own, line.text)) return true;
  return false;
}

bool Confirm(const UninstallLogReader& log, const UninstallerTexts& texts, const Text& caption) {
  Text question;
  if (!log.UninstallerText().Empty()) question = log.UninstallerText() + "\r\n\r\n";
  question.Append(texts.Get(UninstallerTexts::kConfirm, log.ProductName()));
  return Show(texts, question, caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void ShowOutcome(const Text& product, const Uninstaller& uninstaller, bool retryable, const UninstallerTexts& texts,
                 const Text& caption) {
  Text more = texts.Get(UninstallerTexts::kMore);
  if (uninstaller.Complete()) {
    Text message = texts.Get(UninstallerTexts::kRemoved, product);
    if (uninstaller.FoldersLeft().Count() > 0) {
      message.Append("\r\n\r\n" + texts.Get(UninstallerTexts::kFoldersLeft) + "\r\n");
      message.Append(ListedItems::Format(uninstaller.FoldersLeft(), kListedItems, more));
    }
    Show(texts, message, caption, MB_OK | MB_ICONINFORMATION);
    return;
  }
  Text message = texts.Get(uninstaller.Later() ? UninstallerTexts::kIncomplete : UninstallerTexts::kLeftovers, product);
  message.Append("\r\n");
  message.Append(ListedItems::Format(uninstaller.Remaining(), kListedItems, more));
  if (retryable) message.Append("\r\n\r\n" + texts.Get(UninstallerTexts::kRetry));
  Show(texts, message, caption, MB_OK | MB_ICONWARNING);
}

// The language the install recorded in the registration, else the user's.
UninstallerTexts TextsFor(const UninstallLogReader* log) {
  uint16_t installed = 0;
  if (log)
    installed = InstallScope::RegisteredLanguage(
        log->ProductName(), Uninstaller::RegisteredForUser(log->Lines(), log->ProductName()));
  UninstallerTexts texts(installed, GetUserDefaultUILanguage());
  // Mirrors every window of the process, the message boxes among them, as a mirrored program's.
  if (texts.RightToLeft()) SetProcessDefaultLayout(LAYOUT_RTL);
  return texts;
}

// The report /LOG=FILE asks for, opened by the process that does the work.
void OpenReport(const UninstallArguments& arguments, InstallLog* report) {
  if (arguments.reportPath.Empty() || !report->Open(arguments.reportPath)) return;
  report->Write("Uninstall log of " + arguments.logPath);
  report->Write("Started " + InstallLogText::DateTime(InstallLog::Now()) + ", command line: " + arguments.arguments);
}

UINT Uninstall(const UninstallArguments& arguments, Uninstaller* uninstaller, InstallLog* report) {
  UninstallLogReader log;
  if (!ReadLog(arguments.logPath, &log)) {
    OpenReport(arguments, report);
    report->Write(Text("The uninstall log could not be read: ") + arguments.logPath);
    if (!arguments.silent) {
      UninstallerTexts texts = TextsFor(nullptr);
      Show(texts, texts.Get(UninstallerTexts::kLogUnreadable) + "\r\n" + arguments.logPath,
           texts.Get(UninstallerTexts::kTitle), MB_OK | MB_ICONERROR);
    }
    return kNotRun;
  }
  UninstallerTexts texts = TextsFor(&log);
  Text caption = texts.Get(UninstallerTexts::kCaption, log.ProductName());
  // A product installed for every user by an installer that let the user choose: this program
  // asked for no rights when it started, and the removal needs them.
  if (!arguments.IsCopy() && !Uninstaller::RegisteredForUser(log.Lines(), log.ProductName()) &&
      ElevatedProcess::Needed()) {
    DWORD elevatedResult = 0;
    ElevatedProcess::Outcome outcome = ElevatedProcess::Run(ElevatedProcess::OwnFile(), arguments.arguments, &elevatedResult);
    if (outcome == ElevatedProcess::kEnded) return elevatedResult;
    bool refused = outcome == ElevatedProcess::kRefused;
    OpenReport(arguments, report);
    report->Write(refused ? Text("Administrator rights were refused: nothing was removed.")
                          : InstallLogText::Outcome("Start the uninstaller elevated", elevatedResult,
                                                    InstallLog::ErrorText(elevatedResult)));
    if (!arguments.silent)
      Show(texts,
           texts.Get(UninstallerTexts::kNeedsAdministrator, log.ProductName()) + "\r\n\r\n" +
               (refused ? texts.Get(UninstallerTexts::kRightsRefused)
                        : texts.Get(UninstallerTexts::kElevationFailed, InstallLogText::ErrorNumber(elevatedResult))),
           caption, MB_OK | MB_ICONERROR);
    return kNotRun;
  }
  DWORD copyResult = 0;
  if (!arguments.IsCopy() && RunsFromProduct(log, arguments.logPath) &&
      SelfRelaunch::RunCopy(arguments.arguments, &copyResult))
    return copyResult;
  OpenReport(arguments, report);
  if (!arguments.silent && !Confirm(log, texts, caption)) {
    report->Write("The user chose not to uninstall.");
    return kNotRun;
  }
  // Libraries unregistering themselves may use COM.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  uninstaller->Run(log.Lines(), arguments.logPath, log.ProductName(), report);
  if (SUCCEEDED(com)) CoUninitialize();
  // The registration stays and points at a log of what is left, so a second run finishes.
  bool retryable = uninstaller->Retry() && RewriteLog(arguments.logPath, log, uninstaller->Kept());
  if (!arguments.silent) ShowOutcome(log.ProductName(), *uninstaller, retryable, texts, caption);
  if (uninstaller->Complete()) return kRemoved;
  return uninstaller->Later() ? kIncomplete : kRemovedWithLeftovers;
}

UINT Main() {
  SystemApi::RestrictDllSearchToSystem();
  const wchar_t* line = GetCommandLineW();
  UninstallArguments arguments = UninstallArguments::Parse(line ? WideText::ToText(line).CStr() : "");
  Uninstaller uninstaller;
  InstallLog report;
  UINT code = Uninstall(arguments, &uninstaller, &report);
  report.WriteExitCode(code);
  if (arguments.IsCopy()) SelfRelaunch::ReportResult(arguments, code);
  uninstaller.DeleteMovedFiles();
  return code;
}
}  // namespace

// The process entry: no C runtime start-up runs before it, and it never returns.
extern "C" void WINAPI ProcessEntry() { ExitProcess(Main()); }
