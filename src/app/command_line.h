#pragma once

#include <memory>

#include "app/run_settings.h"

namespace ttyenum {

// The tool's command line: starts the wxWidgets base library, declares the option table to its
// parser and hands back the values as byte strings. The only unit that touches wxWidgets.
class CommandLine {
 public:
  // Argument bytes reach the parser decoded by decodeArgumentText, so every value comes back
  // byte for byte, in any locale environment.
  CommandLine(int argc, char** argv);
  ~CommandLine();
  CommandLine(const CommandLine&) = delete;
  CommandLine& operator=(const CommandLine&) = delete;

  // False when the parser rejected the command line; it has then written its message.
  bool parse();
  // What the options say; valid after a successful parse.
  OptionValues optionValues() const;
  // The usage text, written by the parser to standard error.
  void showUsage() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ttyenum
