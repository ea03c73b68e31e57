#include "harness/probe_run.h"

#include <windows.h>
#include <gtest/gtest.h>

#include "harness/process.h"
#include "harness/scratch.h"
#include "harness/timeouts.h"
#include "harness/window_driving.h"

namespace {

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
  if (child.process == NULL) {
    ADD_FAILURE() << "the probe did not start";
    return outcome;
  }
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
    if (GetTickCount() - start > kRunTimeoutMs) break;
  }
  outcome.exit_code = FinishChild(child, kRunTimeoutMs);
  if (outcome.exit_code == kTimedOut) ADD_FAILURE() << "the probe had to be ended";
  outcome.report = Lines(ReadBytes(report));
  DeleteFileW(report.c_str());
  if (!outcome.report.empty() && outcome.report.back() == "end") {
    outcome.finished = true;
    outcome.report.pop_back();
  }
  return outcome;
}

std::vector<std::string> ProbeOutcome::Named(const std::string& name) const {
  std::vector<std::string> found;
  for (const std::string& line : report) {
    if (line.compare(0, name.size() + 1, name + " ") == 0) {
      found.push_back(line.substr(name.size() + 1));
    }
  }
  return found;
}
