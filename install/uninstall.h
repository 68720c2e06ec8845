#pragma once
// Removes an installation by its install record (install/install_record.h):
// the program DEST/uninstall and `setupkit uninstall DEST` both run this.
//
// Each recorded file is removed when its content is unchanged (size and
// SHA-256); a changed one is kept and named. The folders the installation
// made go once empty, then the menu entries, and last the record and the
// uninstaller (and DEST, when the installation made it and it is empty).
// Nothing the record does not list is removed, and no link below DEST is
// followed: every name is reached from an open descriptor of DEST. A record
// that is damaged or names anything outside DEST is refused before anything
// is removed. When a removal fails, the record keeps what is left, so that
// a second run can finish.
#include <cstdio>
#include <string>

struct UninstallOptions {
  std::string dest;         // host path of the installation's folder
  bool unattended = false;  // remove without asking
  bool json = false;        // one JSON object a line on `out` instead of text
};

// Where the uninstaller's text goes and its answer comes from. Not C++
// streams: the static uninstaller would link their locale machinery, which
// weighs more than the whole of its own code.
class ConsoleText {
 public:
  virtual ~ConsoleText() = default;
  virtual void put(const std::string& text) = 0;
  virtual void flush() {}
};

class ConsoleInput {
 public:
  virtual ~ConsoleInput() = default;
  // The next line without its end; false when there is none.
  virtual bool line(std::string& text) = 0;
};

// A C stream (stdout, stderr, stdin).
class FileText : public ConsoleText {
 public:
  explicit FileText(std::FILE* file) : file_(file) {}
  void put(const std::string& text) override { std::fwrite(text.data(), 1, text.size(), file_); }
  void flush() override { std::fflush(file_); }

 private:
  std::FILE* file_;
};

class FileInput : public ConsoleInput {
 public:
  explicit FileInput(std::FILE* file) : file_(file) {}
  bool line(std::string& text) override;

 private:
  std::FILE* file_;
};

// Text kept in memory (tests).
class StringText : public ConsoleText {
 public:
  void put(const std::string& text) override { text_ += text; }
  const std::string& str() const { return text_; }

 private:
  std::string text_;
};

class StringInput : public ConsoleInput {
 public:
  explicit StringInput(std::string text) : text_(std::move(text)) {}
  bool line(std::string& text) override;

 private:
  std::string text_;
  size_t at_ = 0;
};

struct UninstallConsole {
  ConsoleText& out;
  ConsoleText& err;
  ConsoleInput* in = nullptr;  // where the answer is read; null: nobody can be asked
};

// Returns the exit status (common/exit_status.h): 0 done, 1 a removal
// failed, 2 the record is damaged, 3 nothing is installed there, 4 the user
// said no, 5 refused (a record naming anything outside DEST, or nobody to
// ask without `unattended`).
int runUninstall(const UninstallOptions& options, UninstallConsole& console);
