#pragma once
// A command's options as a table of rows, parsed by the table itself. Each row names
// the option, its value and its help, and says what the option does; the
// command's --help text is printed from the same rows, so the two cannot
// drift apart.
#include <functional>
#include <string>
#include <vector>

namespace setupkit {

struct OptionRow {
  std::string names;       // "-o,--output"; short names stand alone (no -oFILE, no -vq)
  std::string value = {};  // the value's name in the help ("ARCHIVE"); empty: a flag, which takes no value
  std::string help = {};   // lines after the first are indented under it; empty: not listed
  std::function<void(const std::string& value)> apply = {};  // a flag's value is empty
  std::string sharedWith = {};  // rows with this set are listed on one line: "--a, --b  as for pack"
  bool ends = false;            // the arguments after this option are not looked at (--help, --version)
};

struct CommandTable {
  std::string name;     // "pack"; in messages and hints
  std::string heading;  // the help text before the options: usage line and description
  std::vector<OptionRow> rows;
  std::string footer;  // the help text after the options
};

// Applies the options in the order given and returns the operands (the
// arguments that are no option or option value; every argument after "--").
// Options take their value as the next argument or after "=". A command
// line that does not fit is reported through `fail`, which must throw: the
// first unknown option (with the closest known name when one is close), a
// missing value, a flag given a value. An option whose row `ends` stops the
// parse at once.
std::vector<std::string> parseOptions(const CommandTable& table, const std::vector<std::string>& args,
                                      const std::function<void(const std::string& message)>& fail);

// The help text: heading, one line per listed option (names and value, then
// the help from column 27), footer.
std::string helpText(const CommandTable& table);

// "; did you mean NAME?" for the known name closest to a mistyped one, when
// one is close enough to be a typing slip; empty otherwise.
std::string didYouMean(const std::string& typed, const std::vector<std::string>& known);

}  // namespace setupkit
