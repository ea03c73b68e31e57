#include "engine/tokens.h"

#include <windows.h>

#include "package/package.h"

namespace {

// Room for one replacement value; header strings hold at most 31 characters.
constexpr unsigned kReplacementCapacity = 128;

// Builds what "#" followed by `next` stands for.
void BuildReplacement(wchar_t next, const wchar_t* product_name,
                      const wchar_t* product_version, wchar_t* out) {
  const wchar_t* value = L"";
  if (next == L'N') value = product_name;
  else if (next == L'V') value = product_version;
  else if (next == L'#') value = L"#";
  lstrcpynW(out, value, kReplacementCapacity);
}

}  // namespace

void ExpandTokensWith(wchar_t* buffer, unsigned capacity, const wchar_t* product_name,
                      const wchar_t* product_version) {
  if (capacity == 0) return;
  buffer[capacity - 1] = 0;
  HANDLE heap = GetProcessHeap();
  wchar_t* work = (wchar_t*)HeapAlloc(heap, 0, capacity * sizeof(wchar_t));
  if (work == NULL) return;
  lstrcpynW(work, buffer, capacity);

  wchar_t* out = buffer;
  unsigned room = capacity - 1;
  for (const wchar_t* in = work; *in != 0; ++in) {
    if (*in != L'#') {
      if (room == 0) break;
      *out++ = *in;
      --room;
      continue;
    }
    wchar_t replacement[kReplacementCapacity];
    BuildReplacement(in[1], product_name, product_version, replacement);
    for (const wchar_t* r = replacement; *r != 0 && room > 0; ++r, --room) *out++ = *r;
    if (in[1] == 0) break;  // a trailing "#" ends the text
    ++in;
  }
  *out = 0;
  HeapFree(heap, 0, work);
}

void ExpandTokens(wchar_t* buffer, unsigned capacity) {
  ExpandTokensWith(buffer, capacity, PackageProductName(), PackageProductVersion());
}
