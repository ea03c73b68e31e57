#include "harness/start_records.h"

#include "harness/process.h"
#include "harness/scratch.h"

std::vector<RecordLine> RecordLines(const std::wstring& path) {
  std::wstring text = Utf16(FileText(path));
  std::vector<RecordLine> lines;
  size_t start = 0;
  for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
    RecordLine fields;
    size_t field_start = start;
    for (size_t i = start; i <= end; ++i) {
      if (i == end || text[i] == L'\t') {
        fields.push_back(text.substr(field_start, i - field_start));
        field_start = i + 1;
      }
    }
    lines.push_back(fields);
  }
  return lines;
}

bool ProgramStart::CommandEndsWith(const std::wstring& tail) const {
  return command.size() >= tail.size() &&
         command.compare(command.size() - tail.size(), tail.size(), tail) == 0;
}

bool ProgramStart::RanIn(const std::wstring& path) const {
  std::wstring a = folder, b = path;
  while (!a.empty() && a.back() == L'\\') a.pop_back();
  while (!b.empty() && b.back() == L'\\') b.pop_back();
  return a == b;
}

std::vector<RecordLine> WaitForRecordLines(const std::wstring& path, size_t count,
                                           DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    std::vector<RecordLine> lines = RecordLines(path);
    if (lines.size() >= count || GetTickCount() - start > timeout_ms) return lines;
    Sleep(50);
  }
}

std::vector<ProgramStart> RecordedStarts::Wait(size_t count, DWORD timeout_ms) const {
  std::vector<ProgramStart> starts;
  for (const RecordLine& line : WaitForRecordLines(path_, count, timeout_ms)) {
    starts.push_back({line[0], line.size() > 1 ? line[1] : L""});
  }
  return starts;
}

bool HasStart(const std::vector<ProgramStart>& starts, const std::wstring& program,
              const std::wstring& argument) {
  for (const ProgramStart& start : starts) {
    std::vector<std::wstring> arguments = SplitCommandLine(start.command);
    if (arguments.size() == 2 && lstrcmpiW(arguments[0].c_str(), program.c_str()) == 0 &&
        arguments[1] == argument) {
      return true;
    }
  }
  return false;
}
