// xplug-jar: writes a plug-in jar whose manifest the module can read, from class folders and jars.

#include <cstdio>
#include <exception>
#include <string>

#include "jar_writer.h"

namespace {

void printUsage(std::FILE* stream) {
  std::fprintf(stream,
               "usage: xplug-jar OUTPUT --manifest-entry KEY=VALUE ... [--dir CLASSDIR]... [--jar JAR]...\n"
               "\n"
               "Writes the jar OUTPUT: first META-INF/MANIFEST.MF with one \"KEY: VALUE\" line per\n"
               "--manifest-entry, in the order given, with CR LF line ends and a blank last line;\n"
               "then every file below each CLASSDIR, then every file entry of each JAR. All entries are\n"
               "deflated. An entry found alike in two inputs is written once; META-INF/services files\n"
               "are merged; two different copies of any other entry are refused, naming both inputs.\n"
               "Of each JAR, its manifest, signature files (META-INF/*.SF, *.RSA, *.DSA, *.EC), index\n"
               "and module-info.class are left out, and its LICENSE, NOTICE and COPYING files are kept\n"
               "as META-INF/licenses/JARNAME/FILE. Keys are 1 to 63 letters, digits,\n"
               "'-' or '_'; values hold at most 259 bytes and no line break.\n"
               "\n"
               "exit status: 0 written, 1 writing failed, 2 wrong arguments\n");
}

int run(int argc, char** argv) {
  std::string output;
  xplug::tools::JarContents contents;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      printUsage(stdout);
      return 0;
    }
    const bool takesValue = argument == "--manifest-entry" || argument == "--dir" || argument == "--jar";
    if (takesValue) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "xplug-jar: %s needs a value\n", argument.c_str());
        return 2;
      }
      const std::string value = argv[++i];
      if (argument == "--dir") {
        contents.classDirectories.push_back(value);
      } else if (argument == "--jar") {
        contents.mergedJars.push_back(value);
      } else {
        const size_t equals = value.find('=');
        if (equals == std::string::npos) {
          std::fprintf(stderr, "xplug-jar: --manifest-entry takes KEY=VALUE, not %s\n", value.c_str());
          return 2;
        }
        contents.manifest.push_back({value.substr(0, equals), value.substr(equals + 1)});
      }
    } else if (argument.size() > 1 && argument[0] == '-') {
      std::fprintf(stderr, "xplug-jar: unknown option %s\n", argument.c_str());
      printUsage(stderr);
      return 2;
    } else if (output.empty()) {
      output = argument;
    } else {
      std::fprintf(stderr, "xplug-jar: more than one OUTPUT given (%s)\n", argument.c_str());
      return 2;
    }
  }
  if (output.empty()) {
    printUsage(stderr);
    return 2;
  }
  const xplug::tools::JarOutcome outcome = xplug::tools::writeJar(output, contents);
  if (!outcome.ok) {
    std::fprintf(stderr, "xplug-jar: %s: %s\n", output.c_str(), outcome.error.c_str());
    return 1;
  }
  for (const std::string& warning : outcome.warnings) {
    std::fprintf(stderr, "xplug-jar: warning: %s\n", warning.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "xplug-jar: %s\n", error.what());
    return 1;
  }
}
