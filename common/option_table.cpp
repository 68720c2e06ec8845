#include "common/option_table.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>

namespace setupkit {

namespace {

constexpr size_t kHelpColumn = 27;  // where an option's help starts

std::vector<std::string> namesOf(const OptionRow& row) {
  std::vector<std::string> names;
  for (size_t at = 0; at <= row.names.size();) {
    size_t comma = std::min(row.names.find(',', at), row.names.size());
    names.push_back(row.names.substr(at, comma - at));
    at = comma + 1;
  }
  return names;
}

// The option an argument names: "--level=3" names "--level".
std::string optionNamed(const std::string& arg) {
  size_t eq = arg.find('=');
  return arg.compare(0, 2, "--") == 0 && eq != std::string::npos ? arg.substr(0, eq) : arg;
}

// Edits (insertions, deletions, substitutions, swaps of neighbours) that turn a into b.
size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

std::string withoutDashes(const std::string& name) {
  return name.substr(std::min(name.find_first_not_of('-'), name.size()));
}

// One parse of one command line against a table, from left to right: the
// first fault in the line is the one reported.
class Parse {
 public:
  Parse(const CommandTable& table, const std::function<void(const std::string&)>& onFailure)
      : table_(table), fail_(onFailure) {
    for (const auto& row : table.rows)
      if (!row.help.empty())
        for (const auto& name : namesOf(row)) known_.push_back(name);
  }

  std::vector<std::string> run(const std::vector<std::string>& args) {
    std::vector<std::string> operands;
    for (size_t i = 0; i < args.size(); ++i) {
      const std::string& arg = args[i];
      if (arg == "--") {
        operands.insert(operands.end(), args.begin() + std::ptrdiff_t(i) + 1, args.end());
        break;
      }
      if (arg.size() < 2 || arg[0] != '-') {
        operands.push_back(arg);
        continue;
      }
      const bool isLong = arg[1] == '-';
      // A short option stands alone: no value run together with it, no
      // other short options after it.
      if (!isLong && arg.size() > 2) unknown(arg);
      const size_t eq = isLong ? arg.find('=') : std::string::npos;
      const std::string name = arg.substr(0, eq);
      const OptionRow* row = rowNamed(name);
      if (!row) unknown(arg);
      std::string value;
      if (row->value.empty()) {
        if (eq != std::string::npos) fail("option " + name + " takes no value");
      } else if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];  // whatever it looks like
      } else {
        fail("option " + name + " needs a value");
      }
      row->apply(value);
      if (row->ends) return {};
    }
    return operands;
  }

 private:
  [[noreturn]] void fail(const std::string& message) const {
    fail_(message);
    throw std::logic_error("the failure handler returned");
  }

  [[noreturn]] void unknown(const std::string& arg) const {
    const std::string name = optionNamed(arg);
    fail("unknown option " + name + didYouMean(name, known_));
  }

  const OptionRow* rowNamed(const std::string& name) const {
    for (const auto& row : table_.rows)
      for (const auto& n : namesOf(row))
        if (n == name) return &row;
    return nullptr;
  }

  const CommandTable& table_;
  const std::function<void(const std::string&)>& fail_;
  std::vector<std::string> known_;
};

std::string optionLabel(const OptionRow& row) {
  std::string label;
  for (const auto& name : namesOf(row)) label += (label.empty() ? "" : ", ") + name;
  return row.value.empty() ? label : label + " " + row.value;
}

void appendOption(std::string& text, const std::string& label, const std::string& help) {
  text += "  " + label;
  text += label.size() + 2 < kHelpColumn ? std::string(kHelpColumn - 2 - label.size(), ' ') : std::string(2, ' ');
  for (size_t at = 0; at < help.size();) {
    size_t end = std::min(help.find('\n', at), help.size());
    if (at > 0) text += std::string(kHelpColumn, ' ');
    text += help.substr(at, end - at) + "\n";
    at = end + 1;
  }
}

}  // namespace

std::vector<std::string> parseOptions(const CommandTable& table, const std::vector<std::string>& args,
                                      const std::function<void(const std::string& message)>& fail) {
  return Parse(table, fail).run(args);
}

std::string helpText(const CommandTable& table) {
  std::string text = table.heading;
  std::vector<std::string> sharedDone;
  for (const auto& row : table.rows) {
    if (row.help.empty()) continue;
    if (row.sharedWith.empty()) {
      appendOption(text, optionLabel(row), row.help);
      continue;
    }
    if (std::find(sharedDone.begin(), sharedDone.end(), row.sharedWith) != sharedDone.end()) continue;
    sharedDone.push_back(row.sharedWith);
    std::string names;
    for (const auto& other : table.rows)
      if (other.sharedWith == row.sharedWith) names += (names.empty() ? "" : ", ") + namesOf(other).back();
    appendOption(text, names, row.sharedWith);
  }
  return text + table.footer;
}

std::string didYouMean(const std::string& typed, const std::vector<std::string>& known) {
  const std::string word = withoutDashes(typed);
  std::string best;
  size_t bestDistance = std::string::npos;
  for (const auto& name : known) {
    const std::string candidate = withoutDashes(name);
    size_t distance = editDistance(word, candidate);
    // A slip of one key in a short name, of two in a longer one; never a whole name.
    size_t allowed = candidate.size() <= 4 ? 1 : 2;
    if (distance <= allowed && distance < candidate.size() && distance < bestDistance) {
      best = name;
      bestDistance = distance;
    }
  }
  return best.empty() ? std::string() : "; did you mean " + best + "?";
}

}  // namespace setupkit
