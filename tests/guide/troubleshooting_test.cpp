// The troubleshooting page against the module's sources: every log line the module can write must be on
// the page, spelled as the code spells it, so that a new or reworded line cannot go unexplained.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "testsupport/read_file.h"

namespace xplug::testing {
namespace {

namespace fs = std::filesystem;

struct Literal {
  size_t begin = 0;  // position of the opening quote
  size_t end = 0;    // position after the closing quote
  std::string text;  // as written between the quotes, escapes kept
};

// The string literals of a C++ source, outside comments and character literals, with adjacent literals
// joined as the compiler joins them. A PRI... macro between two pieces stands for its conversion letter.
std::vector<Literal> stringLiterals(const std::string& source) {
  std::vector<Literal> literals;
  size_t i = 0;
  while (i < source.size()) {
    if (source.compare(i, 2, "//") == 0) {
      i = source.find('\n', i);
      if (i == std::string::npos) break;
    } else if (source.compare(i, 2, "/*") == 0) {
      i = source.find("*/", i + 2);
      if (i == std::string::npos) break;
      i += 2;
    } else if (source[i] == '\'' || source[i] == '"') {
      const char quote = source[i];
      size_t j = i + 1;
      std::string text;
      while (j < source.size() && source[j] != quote) {
        const size_t width = source[j] == '\\' ? 2 : 1;
        text += source.substr(j, width);
        j += width;
      }
      if (quote == '"') {
        static const std::regex kJoiner(R"(^\s*(PRI[a-zA-Z]+)?\s*$)");
        std::smatch between;
        std::string gap =
            literals.empty() ? std::string("x") : source.substr(literals.back().end, i - literals.back().end);
        if (!literals.empty() && std::regex_match(gap, between, kJoiner)) {
          const std::string macro = between[1].str();
          literals.back().text += (macro.empty() ? std::string() : macro.substr(3, 1)) + text;
          literals.back().end = j + 1;
        } else {
          literals.push_back({i, j + 1, text});
        }
      }
      i = j + 1;
    } else {
      ++i;
    }
  }
  return literals;
}

// The log formats of a source: literals that end in a line break, and the format of every logMessage.
std::vector<std::string> logFormats(const std::string& source) {
  std::vector<std::string> formats;
  for (const Literal& literal : stringLiterals(source)) {
    const bool endsLine =
        literal.text.size() >= 2 && literal.text.compare(literal.text.size() - 2, 2, "\\n") == 0;
    const size_t call = source.rfind("logMessage(", literal.begin);
    const bool logged =
        call != std::string::npos && source.find_first_not_of(" \t\n", call + 11) == literal.begin;
    if (endsLine || logged) formats.push_back(literal.text);
  }
  return formats;
}

// The messages the bridge's Java classes log: the first argument of a logging call that starts with a
// string literal, its literal pieces kept and every other operand of the concatenation written as a "%s"
// conversion (a line separator at its end dropped).
std::vector<std::string> javaLogMessages(const std::string& source) {
  static const std::regex kCall(R"((?:\blog|\.info|\.error|\.log|System\.err\.print(?:ln)?)\(\s*")");
  std::vector<std::string> messages;
  for (auto call = std::sregex_iterator(source.begin(), source.end(), kCall); call != std::sregex_iterator();
       ++call) {
    std::string message;
    std::string operand;
    int depth = 0;
    auto finishOperand = [&] {
      const std::string trimmed = std::regex_replace(operand, std::regex(R"(^\s+|\s+$)"), "");
      if (!trimmed.empty() && trimmed != "System.lineSeparator()") message += "%s";
      operand.clear();
    };
    for (size_t i = static_cast<size_t>(call->position() + call->length()) - 1; i < source.size(); ++i) {
      const char c = source[i];
      if (c == '"') {
        size_t j = i + 1;
        while (j < source.size() && source[j] != '"') {
          if (source[j] == '%') message += '%';
          const size_t width = source[j] == '\\' ? 2 : 1;
          (depth == 0 ? message : operand) += source.substr(j, width);
          j += width;
        }
        i = j;
      } else if (c == '(') {
        ++depth;
        operand += c;
      } else if (c == ')' && depth > 0) {
        --depth;
        operand += c;
      } else if (depth == 0 && (c == '+' || c == ',' || c == ')' || c == ';')) {
        finishOperand();
        if (c != '+') break;
      } else {
        operand += c;
      }
    }
    messages.push_back(message);
  }
  return messages;
}

std::string escapeForRegex(const std::string& text) {
  static const std::string kSpecial = R"(\^$.|?*+()[]{}/)";
  std::string escaped;
  for (char c : text) {
    if (kSpecial.find(c) != std::string::npos) escaped += '\\';
    escaped += c;
  }
  return escaped;
}

// A pattern that finds the line on the page: the fixed parts exactly, each printf conversion as an
// <explanation> or as one example word. Empty for a format that is nothing but conversions.
std::string pagePattern(std::string format) {
  if (format.size() >= 2 && format.compare(format.size() - 2, 2, "\\n") == 0)
    format.resize(format.size() - 2);
  static const std::regex kConversion(R"(%[-+ #0]*[0-9]*(\.[0-9]+)?(hh|h|ll|l|z|j|t)?[diouxXsScp])");
  static const std::string kValue = R"((?:<[^>\n]*>|[^\s`|<>]+))";
  std::string pattern;
  bool fixedText = false;
  auto fixed = [&](std::string piece) {
    std::string text;
    for (size_t k = 0; k < piece.size(); ++k) {
      if (piece[k] == '\\' && k + 1 < piece.size()) ++k;
      if (piece[k] == '%' && k + 1 < piece.size() && piece[k + 1] == '%') ++k;
      text += piece[k];
    }
    if (text.find_first_not_of(" ") != std::string::npos) fixedText = true;
    pattern += escapeForRegex(text);
  };
  auto next = std::sregex_iterator(format.begin(), format.end(), kConversion);
  size_t position = 0;
  for (; next != std::sregex_iterator(); ++next) {
    fixed(format.substr(position, static_cast<size_t>(next->position()) - position));
    pattern += kValue;
    position = static_cast<size_t>(next->position() + next->length());
  }
  fixed(format.substr(position));
  return fixedText ? pattern : std::string();
}

TEST(TroubleshootingPage, PatternsReadFormatsAsThePageWritesThem) {
  struct Case {
    const char* format;
    const char* onPage;
    bool found;
  };
  const Case cases[] = {
      {R"(writeAttachedJarFile: failed to open %s\n)", "`writeAttachedJarFile: failed to open <path>`", true},
      {R"(Returning kDoNotEnable(%d) and detaching JVM\n)", "`Returning kDoNotEnable(-2) and detaching JVM`",
       true},
      {R"( *** INIT for %s_%s at %s, headless mode %d\n)",
       " *** INIT for Hello_FMPro at <time>, headless mode 0", true},
      {R"(Input string (%s) is not legal\n)", "`Input string (<text>) is not legal`", true},
      {R"(Input string (%s) is not legal\n)", "`Input string <text> is not legal`", false},
      {R"(Could not close zip file: %s\n)", "`Could not close the zip file: <copy>`", false},
  };
  for (const Case& c : cases) {
    const std::string pattern = pagePattern(c.format);
    ASSERT_FALSE(pattern.empty()) << c.format;
    EXPECT_EQ(std::regex_search(std::string(c.onPage), std::regex(pattern)), c.found) << c.format;
  }
  EXPECT_EQ(pagePattern(R"(%s\n)"), "");
  const std::string java =
      R"(log.info("The plug-in id \"" + id + "\" is not four characters long"); )"
      R"(System.err.print("(Java) Could not append to " + path + ": " + e + System.lineSeparator());)"
      R"(log.error("The function " + registry.nameOf(functionID) + " failed", failure);)";
  EXPECT_EQ(javaLogMessages(java),
            (std::vector<std::string>{R"(The plug-in id \"%s\" is not four characters long)",
                                      "(Java) Could not append to %s: %s", "The function %s failed"}));
  EXPECT_EQ(pagePattern(R"(%d: %s\n)").empty(), false);
}

TEST(TroubleshootingPage, ListsEveryLogLineOfTheModule) {
  const std::string page = readFile(TROUBLESHOOTING_PATH);
  ASSERT_FALSE(page.empty()) << "cannot read " << TROUBLESHOOTING_PATH;
  std::vector<fs::path> sources;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(MODULE_SOURCE_DIR)) {
    const std::string extension = entry.path().extension().string();
    if (entry.is_regular_file() && (extension == ".cpp" || extension == ".h"))
      sources.push_back(entry.path());
  }
  std::sort(sources.begin(), sources.end());
  size_t checked = 0;
  for (const fs::path& source : sources) {
    for (const std::string& format : logFormats(readFile(source))) {
      const std::string pattern = pagePattern(format);
      if (pattern.empty()) continue;
      ++checked;
      EXPECT_TRUE(std::regex_search(page, std::regex(pattern)))
          << source.filename().string() << " logs \"" << format
          << "\", which docs/troubleshooting.md does not list";
    }
  }
  // The scan found the module's log lines at all (a moved source folder would otherwise pass silently).
  EXPECT_GT(checked, 50u);
}

TEST(TroubleshootingPage, ListsEveryLineTheBridgeLogs) {
  const std::string page = readFile(TROUBLESHOOTING_PATH);
  ASSERT_FALSE(page.empty()) << "cannot read " << TROUBLESHOOTING_PATH;
  size_t checked = 0;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(BRIDGE_SOURCE_DIR)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".java") continue;
    for (const std::string& message : javaLogMessages(readFile(entry.path()))) {
      const std::string pattern = pagePattern(message);
      if (pattern.empty()) continue;
      ++checked;
      EXPECT_TRUE(std::regex_search(page, std::regex(pattern)))
          << entry.path().filename().string() << " logs \"" << message
          << "\", which docs/troubleshooting.md does not list";
    }
  }
  EXPECT_GT(checked, 10u);
}

}  // namespace
}  // namespace xplug::testing
