#include "harness/probe_run.h"

#include <windows.h>
#include <gtest/gtest.h>

#include "harness/process.h"
#include "harness/scratch.h"
#include "harness/windows.h"

namespace {

constexpr DWORD kProbeTimeoutMs = 30000;

std::vector<std::string> Lines(const std::vector<unsigned char>& bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (unsigned char byte : bytes) {
    if (byte == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += (char)byte;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace

ProbeOutcome RunProbe(const std::wstring& probe, const std::wstring& scratch_dir) {
  ProbeOutcome outcome;
  std::wstring report = scratch_dir + L"\\probe-report.txt";
  DeleteFileW(report.c_str());
  Child child = StartChild(Quoted(probe) + L" " + Quoted(report));
  if (child.process == NULL) return outcome;
  // Either the process ends by itself or it shows the fatal message box and waits.
  DWORD start = GetTickCount();
  while (WaitForSingleObject(child.process, 50) == WAIT_TIMEOUT) {
    MessageBoxSeen box = WaitForMessageBox(child.pid, 0);
    if (box.window != NULL) {
      outcome.fatal_caption = box.caption;
      outcome.fatal_text = box.text;
      PressButton(box.window, IDOK);
      break;
    }
    if (GetTickCount() - start > kProbeTimeoutMs) break;
  }
  outcome.exit_code = FinishChild(child, kProbeTimeoutMs);
  outcome.report = Lines(ReadBytes(report));
  DeleteFileW(report.c_str());
  if (!outcome.report.empty() && outcome.report.back() == "end") {
    outcome.finished = true;
    outcome.report.pop_back();
  }
  return outcome;
}
