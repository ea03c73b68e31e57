// The manifest's lines as an .ini file: the text's encoding, section heads, comments and
// "key = value" lines, and the key a publisher most likely meant by one that is not known.
#include <algorithm>

#include "packer/core/manifest_reading.h"
#include "packer/core/message_text.h"

namespace {

enum Section {
  SECTION_NONE,
  SECTION_PRODUCT,
  SECTION_OPTIONS,
  SECTION_FILES,
  SECTION_FOLDERS,
  SECTION_EXCLUDE,
};

// Words other tools and habits use for a key of ours, which no spelling distance finds.
struct KeySynonym {
  const char* word;
  const char* key;
};
const KeySynonym kKeySynonyms[] = {
    {"publisher", "company"},    {"vendor", "company"},      {"manufacturer", "company"},
    {"author", "company"},       {"organization", "company"}, {"organisation", "company"},
    {"product", "name"},         {"product_name", "name"},   {"title", "name"},
    {"product_version", "version"}, {"class", "window_class"}, {"window", "window_class"},
    {"legal_copyright", "copyright"}, {"architecture", "arch"}, {"platform", "arch"},
};

// The number of single-letter insertions, deletions and changes that turn `a` into `b`.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      size_t change = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
      row[j] = std::min(std::min(row[j - 1] + 1, above + 1), change);
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The known key a publisher most likely meant by `key`, or "" when none is near: a known
// synonym, else the closest key within two letters (one for keys of up to four letters, so
// that short words are not taken for each other).
std::string NearestKey(const std::string& key, const std::vector<std::string>& known) {
  for (const KeySynonym& synonym : kKeySynonyms) {
    if (key == synonym.word &&
        std::find(known.begin(), known.end(), synonym.key) != known.end()) {
      return synonym.key;
    }
  }
  std::string nearest;
  size_t best = key.size() <= 4 ? 2 : 3;
  for (const std::string& candidate : known) {
    size_t distance = EditDistance(key, candidate);
    if (distance < best) {
      best = distance;
      nearest = candidate;
    }
  }
  return nearest;
}

// What a publisher who asks for a vendor key should know: the setup's vendor is fixed.
const char kCompanyOnly[] =
    " (it sets the version resource's CompanyName only: the vendor folder below Program "
    "Files, the Publisher in Windows' list of installed programs and the support link are "
    "fixed)";

}  // namespace

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
  }
  return text;
}

std::string UnknownKey(const std::string& key, const char* section,
                       const std::vector<std::string>& known) {
  std::string nearest = NearestKey(key, known);
  if (nearest.empty()) return "unknown key " + Quote(key) + " in " + section;
  return "unknown key " + Quote(key) + " in " + section + "; did you mean " + Quote(nearest) +
         "?" + (nearest == "company" ? kCompanyOnly : "");
}

namespace {

void ReadKeyLine(Reading& reading, Manifest* manifest, Section section, const std::string& text,
                 int line) {
  size_t equals = text.find('=');
  if (equals == std::string::npos) return Fail(reading, line, "expected \"key = value\"");
  std::string key = Lower(Trim(text.substr(0, equals)));
  std::string value = Trim(text.substr(equals + 1));
  std::string section_name = section == SECTION_PRODUCT ? "[product]" : "[options]";
  auto seen = reading.keys_seen.emplace(section_name + key, line);
  if (!seen.second) {
    return Fail(reading, line, "duplicate key " + Quote(key) + " (first at line " +
                                   std::to_string(seen.first->second) + ")");
  }
  if (section == SECTION_PRODUCT) {
    ReadProductKey(reading, manifest, key, value, line);
  } else {
    ReadOptionKey(reading, manifest, key, value, line);
  }
}

Section SectionNamed(const std::string& content) {
  std::string name = content.back() == ']' ? Lower(Trim(content.substr(1, content.size() - 2))) : "";
  return name == "product"   ? SECTION_PRODUCT
         : name == "options" ? SECTION_OPTIONS
         : name == "files"   ? SECTION_FILES
         : name == "folders" ? SECTION_FOLDERS
         : name == "exclude" ? SECTION_EXCLUDE
                             : SECTION_NONE;
}

// A section head ("[files]"): the section it opens; an unknown one is reported in the
// second pass.
Section ReadSectionHead(Reading& reading, const std::string& content, int line, Pass pass) {
  Section section = SectionNamed(content);
  if (section == SECTION_NONE && pass == PASS_REST) {
    Fail(reading, line, "unknown section " + content +
                            " (use [product], [options], [files], [folders] or [exclude])");
  }
  if (section == SECTION_FILES && reading.files_section_line == 0) {
    reading.files_section_line = line;
  }
  return section;
}

// One line of the second pass, `content` trimmed, within `section`.
void ReadSectionLine(Reading& reading, Manifest* manifest, Section section,
                     const std::string& content, int line) {
  switch (section) {
    case SECTION_NONE:
      Fail(reading, line, "text outside a section");
      break;
    case SECTION_PRODUCT:
    case SECTION_OPTIONS:
      ReadKeyLine(reading, manifest, section, content, line);
      break;
    case SECTION_FILES:
      ReadFileLine(reading, manifest, content, line);
      break;
    case SECTION_FOLDERS:
      ReadFolderLine(reading, manifest, content, line);
      break;
    case SECTION_EXCLUDE:
      break;  // read in the first pass
  }
}

}  // namespace

bool IsUtf16(const std::string& text) {
  if (text.size() < 2) return false;
  if ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF')) {
    return true;
  }
  return (text[0] == 0) != (text[1] == 0);
}

void ReadLines(Reading& reading, const std::string& text, Manifest* manifest, Pass pass) {
  size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  Section section = SECTION_NONE;
  for (int line = 1; start < text.size(); ++line) {
    size_t stop = text.find('\n', start);
    if (stop == std::string::npos) stop = text.size();
    std::string raw = text.substr(start, stop - start);
    start = stop + 1;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    if (raw.find('\0') != std::string::npos) {
      if (pass == PASS_REST) Fail(reading, line, "the line contains a NUL byte");
      continue;
    }
    std::string content = Trim(raw);
    if (content.empty() || content[0] == ';') continue;
    if (content[0] == '[') {
      section = ReadSectionHead(reading, content, line, pass);
    } else if (pass == PASS_REST) {
      ReadSectionLine(reading, manifest, section, content, line);
    } else if (section == SECTION_EXCLUDE) {
      ReadExcludeLine(reading, content, line);
    }
  }
}
