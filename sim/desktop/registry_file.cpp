// The registry's text format (described in simdesktop/registry.h): parsed completely into a batch of
// operations, which is applied only when every line was understood.
#include <cctype>
#include <fstream>
#include <sstream>

#include "registry_store.h"
#include "simdesktop/code_pages.h"

namespace simdesktop {
namespace {

std::string_view trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

// Splits "HKEY_LOCAL_MACHINE\Software\X" into its root and the path below it.
bool parseKeyName(std::string_view text, RegistryRoot* root, std::u16string* path) {
  size_t separator = text.find('\\');
  std::string_view rootName = text.substr(0, separator);
  std::string_view rest =
      separator == std::string_view::npos ? std::string_view() : text.substr(separator + 1);
  auto equalsNoCase = [](std::string_view a, std::string_view b) {
    return a.size() == b.size() && startsWithNoCase(a, b);
  };
  if (equalsNoCase(rootName, "HKEY_LOCAL_MACHINE") || equalsNoCase(rootName, "HKLM")) {
    *root = RegistryRoot::localMachine;
  } else if (equalsNoCase(rootName, "HKEY_CURRENT_USER") || equalsNoCase(rootName, "HKCU")) {
    *root = RegistryRoot::currentUser;
  } else {
    return false;
  }
  *path = utf16FromUtf8(rest);
  return true;
}

// Reads a quoted text at the start of `text`, with the escapes \\ and \"; moves `text` past it.
bool parseQuoted(std::string_view& text, std::string* result, std::string* problem) {
  if (text.empty() || text.front() != '"') {
    *problem = "expected a quoted text";
    return false;
  }
  result->clear();
  for (size_t i = 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      text.remove_prefix(i + 1);
      return true;
    }
    if (c == '\\') {
      if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) {
        *problem = "unknown escape in quoted text (write \\\\ for a backslash)";
        return false;
      }
      c = text[++i];
    }
    result->push_back(c);
  }
  *problem = "missing closing quote";
  return false;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool parseValue(std::string_view text, StoredValue* value, bool* deletion, std::string* problem) {
  *deletion = false;
  if (text == "-") {
    *deletion = true;
    return true;
  }
  std::string quoted;
  if (!text.empty() && text.front() == '"') {
    if (!parseQuoted(text, &quoted, problem)) return false;
    if (!trim(text).empty()) {
      *problem = "unexpected text after the closing quote";
      return false;
    }
    value->type = kRegSz;
    value->bytes = registryStringBytes(utf16FromUtf8(quoted));
    return true;
  }
  if (startsWithNoCase(text, "expand:")) {
    text.remove_prefix(7);
    text = trim(text);
    if (!parseQuoted(text, &quoted, problem)) return false;
    if (!trim(text).empty()) {
      *problem = "unexpected text after the closing quote";
      return false;
    }
    value->type = kRegExpandSz;
    value->bytes = registryStringBytes(utf16FromUtf8(quoted));
    return true;
  }
  if (startsWithNoCase(text, "dword:")) {
    std::string_view digits = trim(text.substr(6));
    if (digits.empty() || digits.size() > 8) {
      *problem = "a dword needs 1 to 8 hexadecimal digits";
      return false;
    }
    uint32_t number = 0;
    for (char c : digits) {
      int digit = hexDigit(c);
      if (digit < 0) {
        *problem = "a dword needs 1 to 8 hexadecimal digits";
        return false;
      }
      number = number << 4 | static_cast<uint32_t>(digit);
    }
    value->type = kRegDword;
    value->bytes = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                    static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
    return true;
  }
  if (startsWithNoCase(text, "hex:")) {
    std::string_view rest = trim(text.substr(4));
    value->type = kRegBinary;
    value->bytes.clear();
    while (!rest.empty()) {
      size_t comma = rest.find(',');
      std::string_view byteText = trim(rest.substr(0, comma));
      if (byteText.size() != 2 || hexDigit(byteText[0]) < 0 || hexDigit(byteText[1]) < 0) {
        *problem = "binary data must be two-digit hexadecimal bytes separated by commas";
        return false;
      }
      value->bytes.push_back(static_cast<uint8_t>(hexDigit(byteText[0]) * 16 + hexDigit(byteText[1])));
      if (comma == std::string_view::npos) break;
      rest = trim(rest.substr(comma + 1));
      if (rest.empty()) {
        *problem = "binary data ends with a comma";
        return false;
      }
    }
    return true;
  }
  *problem = "unknown value (use \"text\", expand:\"text\", dword:, hex: or -)";
  return false;
}

}  // namespace

bool loadRegistryText(std::string_view text, std::string* error) {
  std::vector<RegistryOperation> operations;
  bool haveKey = false;
  RegistryRoot root = RegistryRoot::localMachine;
  std::u16string keyPath;
  int lineNumber = 0;
  auto fail = [&](std::string_view line, const std::string& problem) {
    if (error) {
      std::ostringstream message;
      message << "line " << lineNumber << ": " << problem << ": " << line;
      *error = message.str();
    }
    return false;
  };

  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = trim(text.substr(start, end - start));
    start = end + 1;
    ++lineNumber;
    if (lineNumber == 1 && line.size() >= 3 && line.substr(0, 3) == "\xEF\xBB\xBF")
      line = trim(line.substr(3));
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (lineNumber == 1 && line == "Windows Registry Editor Version 5.00") continue;

    if (line.front() == '[') {
      if (line.back() != ']') return fail(line, "a key line must end with ]");
      std::string_view name = line.substr(1, line.size() - 2);
      bool deletion = !name.empty() && name.front() == '-';
      if (deletion) name.remove_prefix(1);
      RegistryOperation op;
      if (!parseKeyName(name, &op.root, &op.keyPath))
        return fail(line, "unknown root (use HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER)");
      op.kind = deletion ? RegistryOperation::Kind::deleteKey : RegistryOperation::Kind::createKey;
      haveKey = !deletion;
      root = op.root;
      keyPath = op.keyPath;
      operations.push_back(std::move(op));
      continue;
    }

    std::string name;
    std::string_view rest = line;
    std::string problem;
    if (rest.front() == '@') {
      rest.remove_prefix(1);
    } else if (rest.front() == '"') {
      if (!parseQuoted(rest, &name, &problem)) return fail(line, problem);
    } else {
      return fail(line, "expected \"Name\"=value");
    }
    rest = trim(rest);
    if (rest.empty() || rest.front() != '=') return fail(line, "expected \"Name\"=value");
    rest = trim(rest.substr(1));
    if (!haveKey) return fail(line, "a value needs a [key] line before it");
    RegistryOperation op;
    bool deletion = false;
    if (!parseValue(rest, &op.value, &deletion, &problem)) return fail(line, problem);
    op.kind = deletion ? RegistryOperation::Kind::deleteValue : RegistryOperation::Kind::setValue;
    op.root = root;
    op.keyPath = keyPath;
    op.name = utf16FromUtf8(name);
    op.value.name = op.name;
    operations.push_back(std::move(op));
  }
  applyRegistryOperations(operations);
  return true;
}

bool loadRegistryFile(const std::string& path, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (error) *error = "cannot read registry file " + path;
    return false;
  }
  std::ostringstream contents;
  contents << file.rdbuf();
  if (file.bad()) {
    if (error) *error = "cannot read registry file " + path;
    return false;
  }
  std::string message;
  if (!loadRegistryText(contents.str(), &message)) {
    if (error) *error = path + ": " + message;
    return false;
  }
  return true;
}

}  // namespace simdesktop
