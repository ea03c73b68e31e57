// Running package_probe.exe copies that carry a package: what the installer's reader saw,
// or the fatal message it ended with.
#pragma once

#include <string>
#include <vector>

// What one probe run showed.
struct ProbeOutcome {
  bool finished = false;            // the walk reached its end ("end" in the report)
  std::vector<std::string> report;  // the report's lines, "end" excluded
  std::wstring fatal_caption;       // the message box, when one appeared
  std::wstring fatal_text;
  unsigned long exit_code = 0;
  // What the report says under `name` (its lines that start with `name` and a space, without
  // them), in the order reported: Named("entry") gives every record of the full pass.
  std::vector<std::string> Named(const std::string& name) const;
};

// Starts `probe` (an executable carrying a package) with a report file in `scratch_dir`,
// answers a message box if one appears, and waits for the process. A process that neither
// finishes nor shows a box within the timeout is ended and fails the test.
ProbeOutcome RunProbe(const std::wstring& probe, const std::wstring& scratch_dir);
