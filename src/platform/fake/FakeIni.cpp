// The fake machine's INI files: read a value, a number or a section, write a value, as the
// profile calls do on a file's text.
#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "platform/fake/FakeMachine.h"

namespace orvo::fake {
namespace {

using namespace platform;

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// One line of an INI file as the profile calls see it.
struct IniLine {
  std::string text;     // the line as written, without its line end
  std::string section;  // for a header: its name; empty otherwise
  std::string key;      // for an entry: its name (trimmed); empty otherwise
  std::string value;    // for an entry: its value, trimmed, one pair of quotes dropped
  bool isHeader = false;
  bool isEntry = false;
};

std::vector<IniLine> Parse(const std::string& content) {
  std::vector<IniLine> lines;
  std::istringstream in(content);
  std::string raw;
  while (std::getline(in, raw)) {
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    IniLine line;
    line.text = raw;
    const std::string t = Trim(raw);
    if (!t.empty() && t.front() == '[' && t.back() == ']') {
      line.isHeader = true;
      line.section = Trim(t.substr(1, t.size() - 2));
    } else if (!t.empty() && t[0] != ';') {
      const auto eq = t.find('=');
      if (eq != std::string::npos) {
        line.isEntry = true;
        line.key = Trim(t.substr(0, eq));
        line.value = Trim(t.substr(eq + 1));
        // A value in matching single or double quotes comes back without them.
        if (line.value.size() >= 2 && (line.value.front() == '"' || line.value.front() == '\'') &&
            line.value.back() == line.value.front()) {
          line.value = line.value.substr(1, line.value.size() - 2);
        }
      }
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

// A line the writer adds: plain text, read back as what it says on the next parse.
IniLine TextLine(const std::string& text) {
  IniLine line;
  line.text = text;
  return line;
}

bool SameName(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

// The index of the section's header (lines.size() when the file has none of that name).
std::size_t FindSection(const std::vector<IniLine>& lines, const std::string& section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].isHeader && SameName(lines[i].section, section)) return i;
  }
  return lines.size();
}

// The entry of the key in the section, if both are there.
const IniLine* FindEntry(const std::vector<IniLine>& lines, const std::string& section,
                         const std::string& key) {
  for (std::size_t i = FindSection(lines, section) + 1; i < lines.size(); ++i) {
    if (lines[i].isHeader) break;
    if (lines[i].isEntry && SameName(lines[i].key, key)) return &lines[i];
  }
  return nullptr;
}

}  // namespace

const FakeFile* FakeMachine::IniFile(const std::string& fileName) const {
  const auto resolved = Resolve(fileName);
  if (!resolved) return nullptr;
  const auto it = files_.find(*resolved);
  if (it != files_.end() && (it->second->attributes & kFileAttributeDirectory) == 0) {
    return it->second.get();
  }
  SetLastError(files_.count(Parent(*resolved)) ? kErrorFileNotFound : kErrorPathNotFound);
  return nullptr;
}

Dword FakeMachine::GetPrivateProfileStringW(const std::string& section, const std::string& key,
                                            const std::string& defaultValue, std::string& out,
                                            Dword nSize, const std::string& fileName) {
  calls.push_back("GetPrivateProfileStringW(" + section + ", " + key + ", " + fileName + ")");
  std::string value = defaultValue;
  if (const FakeFile* file = IniFile(fileName)) {
    const std::vector<IniLine> lines = Parse(file->content);
    if (const IniLine* entry = FindEntry(lines, section, key)) value = entry->value;
  }
  if (nSize == 0) {
    out.clear();
    return 0;
  }
  out = value.substr(0, std::min<std::size_t>(value.size(), nSize - 1));
  return static_cast<Dword>(out.size());
}

Dword FakeMachine::GetPrivateProfileIntW(const std::string& section, const std::string& key,
                                         int nDefault, const std::string& fileName) {
  calls.push_back("GetPrivateProfileIntW(" + section + ", " + key + ", " + fileName + ")");
  const FakeFile* file = IniFile(fileName);
  if (file == nullptr) return static_cast<Dword>(nDefault);
  const std::vector<IniLine> lines = Parse(file->content);
  const IniLine* entry = FindEntry(lines, section, key);
  if (entry == nullptr) return static_cast<Dword>(nDefault);
  // The leading digits of the value; a value that starts with none reads as 0.
  std::size_t digits = 0;
  while (digits < entry->value.size() && entry->value[digits] >= '0' &&
         entry->value[digits] <= '9') {
    ++digits;
  }
  if (digits == 0) return 0;
  return static_cast<Dword>(std::strtoul(entry->value.substr(0, digits).c_str(), nullptr, 10));
}

Dword FakeMachine::GetPrivateProfileSectionW(const std::string& section, std::string& out,
                                             Dword nSize, const std::string& fileName) {
  calls.push_back("GetPrivateProfileSectionW(" + section + ", " + fileName + ")");
  std::string lines;
  if (const FakeFile* file = IniFile(fileName)) {
    const std::vector<IniLine> parsed = Parse(file->content);
    for (std::size_t i = FindSection(parsed, section) + 1; i < parsed.size(); ++i) {
      if (parsed[i].isHeader) break;
      if (!parsed[i].isEntry) continue;
      lines += parsed[i].key + "=" + parsed[i].value;
      lines.push_back('\0');
    }
  }
  // Every line ends in a NUL and a second NUL follows the last; all of it fits nSize.
  const std::size_t room = nSize < 2 ? 0 : nSize - 1;
  out = lines.substr(0, std::min(lines.size(), room));
  out.push_back('\0');
  return static_cast<Dword>(out.size() - 1);
}

bool FakeMachine::WritePrivateProfileStringW(const std::string& section, const std::string& key,
                                             const std::string& value,
                                             const std::string& fileName) {
  calls.push_back("WritePrivateProfileStringW(" + section + ", " + key + ", " + fileName + ")");
  if (Faulted("WritePrivateProfileStringW", fileName)) return false;
  const auto resolved = Resolve(fileName);
  if (!resolved) return false;
  auto it = files_.find(*resolved);
  if (it == files_.end()) {
    // A missing file is made, in a folder that must exist.
    const auto parent = files_.find(Parent(*resolved));
    if (parent == files_.end() || (parent->second->attributes & kFileAttributeDirectory) == 0) {
      SetLastError(kErrorPathNotFound);
      return false;
    }
    it = files_.emplace(*resolved, std::make_shared<FakeFile>()).first;
  }
  FakeFile& file = *it->second;
  if ((file.attributes & (kFileAttributeDirectory | kFileAttributeReadonly)) != 0) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  if (file.locked) {
    SetLastError(kErrorSharingViolation);
    return false;
  }

  std::vector<IniLine> lines = Parse(file.content);
  const std::string entry = key + "=" + value;
  const std::size_t header = FindSection(lines, section);
  if (header == lines.size()) {
    lines.push_back(TextLine("[" + section + "]"));
    lines.push_back(TextLine(entry));
  } else {
    std::size_t end = header + 1;
    bool replaced = false;
    for (; end < lines.size() && !lines[end].isHeader; ++end) {
      if (lines[end].isEntry && SameName(lines[end].key, key)) {
        lines[end].text = entry;
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      // After the section's last entry, before any blank lines that close it.
      std::size_t at = end;
      while (at > header + 1 && Trim(lines[at - 1].text).empty()) --at;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), TextLine(entry));
    }
  }
  std::string content;
  for (const IniLine& line : lines) content += line.text + "\r\n";
  file.content = content;
  return true;
}

}  // namespace orvo::fake
