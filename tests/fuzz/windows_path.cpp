#include "tests/fuzz/windows_path.h"

namespace {

// One character of the path: its bytes.
std::vector<std::string> Characters(const std::string& path, const LeadBytes& table,
                                    DoubleByteReading bytes) {
  std::vector<std::string> characters;
  for (size_t i = 0; i < path.size();) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    size_t length = 1;
    if (table.MultiByte && table.Lead[c] && i + 1 < path.size()) {
      unsigned char next = static_cast<unsigned char>(path[i + 1]);
      if (bytes == DoubleByteReading::AnyNextByte || next >= 0x40) length = 2;
    }
    characters.push_back(path.substr(i, length));
    i += length;
  }
  return characters;
}

bool IsDotsAndBlanksOnly(const std::string& name, int* dot_count) {
  *dot_count = 0;
  for (char c : name) {
    if (c == '.')
      ++*dot_count;
    else if (c != ' ')
      return false;
  }
  return true;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

std::vector<std::string> ResolveWindowsPath(const std::string& path, const LeadBytes& table,
                                            DoubleByteReading bytes, DotsReading dots) {
  if (path.size() < 3 || path[1] != ':' || (path[2] != '\\' && path[2] != '/')) return {};
  std::vector<std::string> names;
  std::string current;
  std::vector<std::string> characters = Characters(path.substr(3), table, bytes);
  characters.push_back("\\");  // closes the last name
  for (size_t i = 0; i < characters.size(); ++i) {
    const std::string& c = characters[i];
    if (c != "\\" && c != "/") {
      current += c;
      continue;
    }
    bool last = i + 1 == characters.size();
    std::string name;
    name.swap(current);
    if (name.empty()) continue;
    bool up = name == "..";
    bool here = name == ".";
    int dot_count = 0;
    if (dots == DotsReading::DotsAndBlanks && IsDotsAndBlanksOnly(name, &dot_count)) {
      up = dot_count >= 2;
      here = !up;
    }
    if (up) {
      if (!names.empty()) names.pop_back();
      continue;
    }
    if (here) continue;
    if (last) {
      while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    } else if (name.back() == '.') {
      name.pop_back();
    }
    if (!name.empty()) names.push_back(name);
  }
  names.insert(names.begin(), Lower(path.substr(0, 2)));
  return names;
}

bool IsStrictlyInside(const std::string& path, const std::string& folder, const LeadBytes& table,
                      std::string* why) {
  const DoubleByteReading byte_readings[] = {DoubleByteReading::AnyNextByte,
                                             DoubleByteReading::ValidTrail};
  const DotsReading dot_readings[] = {DotsReading::Documented, DotsReading::DotsAndBlanks};
  for (DoubleByteReading bytes : byte_readings) {
    for (DotsReading dots : dot_readings) {
      std::vector<std::string> names = ResolveWindowsPath(path, table, bytes, dots);
      std::vector<std::string> base = ResolveWindowsPath(folder, table, bytes, dots);
      bool inside = !base.empty() && names.size() > base.size();
      for (size_t i = 0; inside && i < base.size(); ++i) inside = Lower(names[i]) == Lower(base[i]);
      if (!inside) {
        std::string resolved;
        for (const std::string& name : names) resolved += name + "\\";
        *why = std::string(bytes == DoubleByteReading::AnyNextByte ? "pairs of any bytes"
                                                                   : "valid trail bytes only") +
               (dots == DotsReading::Documented ? ", documented dots" : ", dots and blanks") +
               ": " + resolved;
        return false;
      }
    }
  }
  return true;
}
