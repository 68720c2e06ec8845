#pragma once
// The one install routine. The wizard, the launcher's unattended install and
// `setupkit restore --record` each hand it the medium, the destination and
// the person's choices, and keep only what is theirs: pages and message
// boxes, options and JSON lines, the tool's output. It owns the rest, in this
// order:
//
//   1. the medium's attributes (SETUP.ATR): damaged ones refuse the medium
//      before anything is written;
//   2. the publisher pinned by an earlier installation into the destination:
//      a medium of another publisher (or an unsigned one) goes ahead only as
//      the choices say (ask, refuse, accept);
//   2b. an installation of the same product (same App and publisher) in the
//      destination: its version against the medium's (install/versions.h);
//      an older version over a newer one goes ahead only as the choices say
//      (the wizard asks about every such installation);
//   3. the restore, every file checked against the attributes as it lands,
//      with the install record kept as the files land (its SHA-256 taken
//      from that check, so each byte is hashed once), the uninstaller placed
//      in the destination and the medium's menu entry written;
//   4. the outcome and its exit status, the same for every front end.
//
// The installation is a transaction (install/transaction.h): the space it
// needs is checked before the first byte, and one that fails, is cancelled
// or is killed leaves DEST as it was (the next run on DEST undoes a killed
// one before anything else).
//
//   TInstallation installation(backup, medium, choices);  // backup: events set by the front end
//   install::Outcome outcome = installation.run();
//
// The front end sets the restore's own settings and events on `backup` first
// (mode, folders kept, progress, disk prompts, file names); the routine adds
// its hooks and takes them off again when it ends.
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/backup_file.h"
#include "install/versions.h"
#include "medium/medium_attributes.h"
#include "medium/medium_signature.h"

namespace install {

// The medium as the front end found it.
struct Medium {
  std::string archive;              // the first volume, Windows form
  std::string settings;             // the text of SETUP.INS (App, [Menu]); empty when it has none
  medium_signature::Signer signer;  // who signed it, checked by the front end before anything else
  std::string uninstaller;          // host path of the uninstaller to place in DEST; empty: none
};

// What to do when the destination was installed from a medium of another
// publisher, or from a signed one and this one is unsigned.
enum class NewPublisher { Ask, Refuse, Accept };

// An installation of the same product (same App, same publisher) that the
// destination holds, as its record this process may act on says.
struct InstalledHere {
  std::string destination;                           // host path
  std::string application;                           // App
  std::string installedVersion;                      // the record's; empty when it has none
  std::string mediumVersion;                         // Version of this medium's SETUP.INS; empty when it has none
  versions::Order order = versions::Order::Unknown;  // the medium's version against the installed one
  bool complete = true;                              // the last installation there completed
};

// What to do when the medium's version is older than the one installed.
enum class Downgrade { Refuse, Accept };

// The person's choices.
struct Choices {
  std::string destination;  // Windows form
  NewPublisher newPublisher = NewPublisher::Refuse;
  // Asked with why when newPublisher is Ask: true to install anyway.
  std::function<bool(const std::string& why)> ask;
  Downgrade downgrade = Downgrade::Refuse;
  // When set, asked whenever the destination holds an installation of the
  // same product (whatever its version): true to go ahead. Then `downgrade`
  // is not consulted.
  std::function<bool(const InstalledHere&)> askInstalled;
};

// Which check refused the medium.
enum class Refusal { None, Publisher, Downgrade };

enum class Result { Completed, Missing, Cancelled, Damaged, Failed, Refused };

// "completed", "missing", "cancelled", "damaged", "failed", "refused": the
// word the JSON lines and the record use.
const char* resultName(Result result);

// A file the installation left in DEST and named: one the user changed that
// the new version dropped or replaced, or one of the user's kept aside.
struct KeptFile {
  std::string name;  // relative to DEST, '/' between components
  std::string reason;
};

struct Outcome {
  Result result = Result::Completed;
  int status = 0;                   // the exit status (common/exit_status.h)
  std::string reason;               // why, for every result but Completed: the refusal, the damage, the system's text
  Refusal refusal = Refusal::None;  // with Result::Refused: which check refused
  // The file being written or read when it failed (Windows form), the volume
  // being read and whether the medium's data was at fault, as the restore
  // reported them.
  std::string file;
  std::string volume;
  bool reading = false;
  bool declined = false;              // refused because the person answered No to a question
  std::string componentMessage;       // the restore component's own message, when it gave one
  int written = 0;                    // files restored
  std::vector<std::string> warnings;  // what could not be recorded or placed (the installation went on)
  std::exception_ptr raised;          // what the restore raised, for a front end that shows it as raised
  // A failed or cancelled installation was undone: DEST, its record, the
  // pin and the menu entry are as they were before it began.
  bool rolledBack = false;
  std::vector<KeptFile> kept;  // the files left in DEST and named (a completed installation)
};

class TInstallation {
 public:
  TInstallation(TBackupFile& backup, Medium medium, Choices choices);
  ~TInstallation();
  TInstallation(const TInstallation&) = delete;
  TInstallation& operator=(const TInstallation&) = delete;

  // The checks before anything is written (attributes, publisher; the
  // person may be asked): the outcome that ends the installation there, or
  // nothing when it may go ahead. Done once; run() does it when not done.
  const std::optional<Outcome>& check();
  // check(), then the installation. Never raises: what the restore raised is
  // in the outcome.
  Outcome run();

 private:
  // The version step of check(): an installation of the same product there.
  const std::optional<Outcome>& checkVersion();
  TBackupFile& backup_;
  Medium medium_;
  Choices choices_;
  bool checked_ = false;
  std::optional<Outcome> refusal_;
  medium::Loaded attributes_;
  std::string recovered_;  // an earlier installation that did not end, undone by check()
};

// The installation of the same product as the medium whose SETUP.INS text
// is `settings`, signed as `signer` says, in `destination` (Windows form or
// host path): nothing when the destination holds none, or one of another
// App or publisher.
std::optional<InstalledHere> installedHere(const std::string& destination, const std::string& settings,
                                           const medium_signature::Signer& signer);

// The uninstaller of a medium whose folder is `mediumFolder` (Windows
// form): `uninstall` beside the running program when `besideProgram` (the
// setup program unpacked from the medium's runtime finds it there), else in
// that folder; empty when there is none.
std::string uninstallerBeside(const std::string& mediumFolder, bool besideProgram);

// The text of SETUP.INS in the medium folder `mediumFolder` (Windows form);
// empty when it has none.
std::string settingsOf(const std::string& mediumFolder);

// Who signed the medium whose first volume is `hostArchive` (a folder
// medium's SETUP.BIN, or a one-file installer), when its signature holds;
// unsigned otherwise. For a front end that did not check it before.
medium_signature::Signer signerOfArchive(const std::string& hostArchive);

}  // namespace install
