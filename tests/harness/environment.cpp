#include "harness/environment.h"

#include <windows.h>

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t value[32768];
  DWORD length = GetEnvironmentVariableW(name, value, 32768);
  return length > 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

ScopedVariable::ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
  wchar_t old[32768];
  DWORD length = GetEnvironmentVariableW(name, old, 32768);
  if (length > 0 && length < 32768) {
    had_value_ = true;
    old_value_.assign(old, length);
  }
  SetEnvironmentVariableW(name, value.c_str());
}

ScopedVariable::~ScopedVariable() {
  SetEnvironmentVariableW(name_.c_str(), had_value_ ? old_value_.c_str() : NULL);
}
