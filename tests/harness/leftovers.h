// What a test leaves outside its scratch folder (shortcuts, Programs groups, registry keys,
// files planted in shared folders), removed when the test ends, however it ends.
#pragma once

#include <string>
#include <vector>

// Removes, when it goes, every path and key registered with it.
class Leftovers {
 public:
  Leftovers() = default;
  ~Leftovers() { RemoveNow(); }
  Leftovers(const Leftovers&) = delete;
  Leftovers& operator=(const Leftovers&) = delete;

  // A file or a folder tree.
  void AddPath(const std::wstring& path) { paths_.push_back(path); }
  // A subkey of HKEY_LOCAL_MACHINE.
  void AddKey(const std::wstring& subkey) { keys_.push_back(subkey); }
  // A folder removed only if it did not exist when it was added (and is empty by then).
  void AddFolderIfNew(const std::wstring& folder);
  // Whatever `folder` holds then; the folder itself stays.
  void AddContentsOf(const std::wstring& folder) { emptied_.push_back(folder); }
  // What an install of product `name` `version` may leave outside its folder: the
  // registration key, the Programs group "<name> <version>" and, when `link` is not empty,
  // the desktop and startup links of that name.
  void AddProduct(const std::wstring& name, const std::wstring& version,
                  const std::wstring& link = L"");

  // Removes everything registered so far (again when it goes): for tests that must also
  // start clean after an earlier run that was cut short.
  void RemoveNow() const;

 private:
  std::vector<std::wstring> paths_;
  std::vector<std::wstring> keys_;
  std::vector<std::wstring> new_folders_;
  std::vector<std::wstring> emptied_;
};
