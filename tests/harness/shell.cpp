#include "harness/shell.h"

#include <windows.h>
#include <shlobj.h>

std::wstring SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = L"";
  SHGetFolderPathW(NULL, csidl, NULL, 0, path);
  return path;
}

ShellLinkSeen ReadShellLink(const std::wstring& link_path) {
  ShellLinkSeen seen;
  HRESULT com = CoInitialize(NULL);
  IShellLinkW* link = NULL;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 (void**)&link))) {
    IPersistFile* file = NULL;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
      if (SUCCEEDED(file->Load(link_path.c_str(), STGM_READ))) {
        wchar_t text[MAX_PATH] = L"";
        seen.loaded = true;
        if (SUCCEEDED(link->GetPath(text, MAX_PATH, NULL, SLGP_RAWPATH))) seen.target = text;
        text[0] = 0;
        if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) seen.working_folder = text;
        text[0] = 0;
        if (SUCCEEDED(link->GetArguments(text, MAX_PATH))) seen.arguments = text;
        link->GetShowCmd(&seen.show_command);
      }
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return seen;
}

bool MakeShellLink(const std::wstring& target, const std::wstring& link_path) {
  HRESULT com = CoInitialize(NULL);
  IShellLinkW* link = NULL;
  bool saved = false;
  if (CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                       (void**)&link) == S_OK) {
    link->SetPath(target.c_str());
    IPersistFile* file = NULL;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
      saved = SUCCEEDED(file->Save(link_path.c_str(), TRUE));
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return saved;
}
