// Environment variables of the test process, inherited by every program it starts: set for
// the life of an object and restored afterwards, so nothing leaks into the next test.
#pragma once

#include <string>

// The value of `name` in this process's environment; empty when it is not set.
std::wstring EnvironmentValue(const wchar_t* name);

// Sets `name` to `value` and restores the previous value (or its absence) when it goes.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::wstring& value);
  ~ScopedVariable();
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::wstring name_;
  std::wstring old_value_;
  bool had_value_ = false;
};

// Makes `folder` the temporary folder (TMP and TEMP) of this process and of every program
// it starts, until it goes.
class TemporaryFolderAt {
 public:
  explicit TemporaryFolderAt(const std::wstring& folder)
      : tmp_(L"TMP", folder), temp_(L"TEMP", folder) {}

 private:
  ScopedVariable tmp_;
  ScopedVariable temp_;
};
