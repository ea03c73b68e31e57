#include "harness/installation.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "harness/message_boxes.h"
#include "harness/second_phase.h"
#include "harness/start_records.h"
#include "harness/timeouts.h"

const wchar_t kUninstallDoneText[] = L"Uninstall completed, thank you for using KOZ Soft products";
const wchar_t kLogNotOpenedText[] = L"Could not open uninstall.dat, uninstall aborted!";
const wchar_t kFolderChangedText[] =
    L"The installation folder changed while the uninstaller was starting, uninstall aborted!";

std::wstring UninstallerWelcomeText(const std::wstring& name, const std::wstring& version) {
  return L"Welcome at the " + name + L" uninstaller. Make sure you have closed all running "
         L"instances of the program to ensure a complete uninstall.\n\nAre you sure you want "
         L"to uninstall " + name + L" " + version + L"?";
}

DWORD ConfirmUninstallToTheEnd(Child& first, const std::wstring& name, const std::wstring& version,
                               const std::wstring& caption, const std::wstring& text) {
  AnswerMessageBox(first.pid, L"Uninstaller", UninstallerWelcomeText(name, version),
                   {IDYES, IDNO}, IDYES);
  EXPECT_EQ(FinishChild(first, kRunTimeoutMs), 0u);
  Child second = WaitForSecondPhaseStart(kWindowTimeoutMs);
  EXPECT_NE(second.process, nullptr) << "the first phase did not hand over";
  if (second.process == nullptr) return kTimedOut;
  AnswerMessageBox(second.pid, caption, text, {IDOK}, IDOK);
  return FinishChild(second, kRunTimeoutMs);
}

Installation::Installation(const std::wstring& product, const std::vector<std::wstring>& files)
    : product(product),
      dir(scratch / (product + L" 1.0")),
      log(dir + L"\\uninstall.dat"),
      record(scratch / L"started.txt"),
      files_(files),
      record_variable_(L"FAKE_CLEANUP_RECORD", record) {
  CreateDirectoryW(dir.c_str(), NULL);
  CopyForTest(UninstallerExe(), dir + L"\\uninstall.exe");
  for (const std::wstring& file : files) {
    size_t folder_end = file.rfind(L'\\');
    if (folder_end != std::wstring::npos) {
      std::wstring folder = file.substr(0, folder_end);
      if (CreateDirectoryW((*this / folder).c_str(), NULL)) folders_.push_back(folder);
    }
    WriteText(*this / file, "installed " + std::string(file.begin(), file.end()));
  }
}

std::wstring Installation::LogOf(const LogRecords& records, bool end_marker) const {
  LogRecords with_own = records;
  if (std::find(records.begin(), records.end(), LogRecordText(L'F', log)) == records.end()) {
    with_own.push_back({L'F', log});
  }
  return LogContents(LogHeaderLine(product, L"1.0", product + L"Wnd"), with_own, end_marker);
}

LogRecords Installation::Records(const LogRecords& first) const {
  LogRecords records = first;
  for (const std::wstring& file : files_) records.push_back({L'F', *this / file});
  records.push_back({L'F', *this / L"uninstall.exe"});
  records.push_back({L'F', log});
  for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) {
    records.push_back({L'S', *this / *folder});
  }
  records.push_back({L'S', dir});
  return records;
}

bool Installation::Untouched() const {
  for (const std::wstring& file : files_) {
    if (!FileExists(*this / file)) return false;
  }
  return FileExists(*this / L"uninstall.exe") && FileExists(log);
}

Child Installation::Start(const std::wstring& arguments) const {
  std::wstring line = Quoted(*this / L"uninstall.exe");
  if (!arguments.empty()) line += L" " + arguments;
  return StartChild(line, scratch.path().c_str());
}

Child Installation::StartSecondPhase(const std::wstring& arguments) const {
  if (!hand_over_) hand_over_.reset(new TestHandOver(scratch / L"second phase"));
  return hand_over_->Start(dir, arguments, scratch.path().c_str());
}

ProcessView UninstallSilently(const std::wstring& dir) {
  Child child = StartChild(Quoted(dir + L"\\uninstall.exe") + L" /AUTO", dir.c_str());
  // Looked for while the first phase runs: it ends only once the second phase holds the
  // installation, and the second phase removes it soon after.
  Child second = WaitForSecondPhaseStart(kWindowTimeoutMs);
  EXPECT_NE(second.process, (HANDLE)NULL) << "no second phase";
  ProcessView view = second.process != NULL ? ReadProcessView(second.process) : ProcessView();
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 0u);
  if (second.process != NULL) EXPECT_EQ(FinishChild(second, kRunTimeoutMs), 0u);
  return view;
}

std::vector<std::wstring> CleanupStartsIn(const std::wstring& record) {
  std::vector<std::wstring> started;
  for (const RecordLine& line : RecordLines(record)) {
    if (line.size() >= 2 && line[0] == L"start") started.push_back(line[1]);
  }
  return started;
}

std::vector<std::wstring> Installation::CleanupStarts() const { return CleanupStartsIn(record); }
