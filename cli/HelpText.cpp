#include "cli/HelpText.h"

#ifndef VZ_VERSION
#define VZ_VERSION "unknown"
#endif

namespace vz::cli {
namespace {

constexpr const char* kExitStatus = R"(Exit status:
  0  success
  1  warnings: some members or files were skipped or failed; each one is
     named on standard error and counted in the summary
  2  fatal error: the archive cannot be read, an input/output error, a full
     disk, not enough free space, or the operation was cancelled
  7  bad command line
)";

constexpr const char* kPasswords = R"(Passwords:
  -p, --password PASSWORD  use PASSWORD. It stands on the command line, where
                           other users of this machine can see it (ps, /proc);
                           prefer -e
  -e, --ask-password       ask for the password on the terminal, without echo
)";

constexpr const char* kNames = R"(Names:
  -O, --charset CHARSET  the character set of names (and member comments)
                         that the archive does not mark as UTF-8, such as
                         CP866 (Russian Windows), CP932 or Shift_JIS
                         (Japanese), CP1252, GBK, Big5, EUC-KR: any set that
                         iconv -l lists. Only for reading. Without it, such a
                         name made on DOS or Windows is code page 437, and
                         one made elsewhere is UTF-8 when it is valid UTF-8,
                         else kept as its bytes (shown with U+FFFD)
)";

constexpr const char* kCommon =
    R"(  -q, --quiet   no progress bar and no line per member; problems are still
                reported on standard error
  -h, --help    this page
)";

constexpr const char* kTool = R"(Usage: vzip COMMAND ARCHIVE [NAMES...] [OPTIONS...]
       vzip COMMAND --help
       vzip --help | --version

The command-line archiver of Varnel Zip: it lists, tests, extracts, creates,
updates, splits, repairs and comments ZIP archives and makes self-extracting
programs of them.

Commands (each has a long alias, and --help of its own):
  l, list      list the members of an archive
  t, test      decode every member and check its CRC-32, writing nothing
  x, extract   extract members to files
  p, print     write a member to standard output
  a, add       add files to an archive: create, update, freshen, replace, move,
               split into parts
  d, delete    delete members from an archive
  c, comment   show or change the archive comment or a member's comment
  s, sfx       make a self-extracting program (ARCHIVE with the extension .exe)
  r, repair    write a repaired copy of a damaged archive

Options of every command:
  -q, --quiet   no progress bar and no line per member; problems are still
                reported on standard error

Progress: when standard error is a terminal, long operations show a progress
bar there (total percent, current member, bytes per second). Listings and
printed members go to standard output alone, so they can be piped.

Questions (overwrite a file? the password? where is the next part?) are only
asked when standard input and standard error are a terminal. Without one,
nothing ever waits for an answer: existing files are kept unless
-o always is given, and a member whose password is missing or wrong is
skipped with a message.

Multi-part archives: name any part (name.001, name.z01) or the last one
(name.003, name.zip); the other parts are looked for beside it as name.001,
name.002, ... and as name.z01, name.z02, ..., name.zip before vzip asks. An
archive cut into plain slices by another program (name.zip.001, ...,
name.split.001, ...) is read as one; only the final number of the name given
changes from part to part.

Names on the terminal: control characters in member names are shown escaped
(\n, \x1B, ...), bytes that are no UTF-8 as U+FFFD.

)";

constexpr const char* kList = R"(Usage: vzip l|list ARCHIVE [--sort KEY] [--comments]

Lists the members: date and time, size, compressed size, ratio (the space
saved, as a percentage of the size; negative for a member that grew), method
(Deflated, Stored, Deflate64, BZip2, LZMA, Zstandard, XZ; PPMd and others
that vzip cannot decode are named too), encryption (traditional, AES-128,
AES-192, AES-256, or blank), CRC-32 and name, then a total line.

Options:
  --sort KEY    order of the list: name (whole stored name), file (file name),
                dir (folder), date (newest first), csize, size (largest
                first), rate (worst compressed first), none (archive order,
                the default)
  --comments    show the archive comment and each member's comment
)";

constexpr const char* kTest = R"(Usage: vzip t|test ARCHIVE [PATTERN...] [-p PASSWORD | -e]

Decodes every member (or the members the patterns select) and checks its
CRC-32 and size without writing any file; its local header must agree with
the archive's directory. Prints a line for each member that fails (also one
whose method or encryption vzip cannot decode) and a summary; any failed
member makes the exit status 1.

A PATTERN is matched against the whole stored name, ignoring case: * matches
any run of characters (also across /), ? one character, <abc> and <a-z> one
of a set, <!abc> one character not in it. Quote patterns for the shell.

Options:
)";

constexpr const char* kExtract =
    R"(Usage: vzip x|extract ARCHIVE [PATTERN...] [-d DEST] [--paths none|stored|volume]
                         [--root DIR] [-o always|never|prompt] [-p PASSWORD | -e]

Extracts every member (or the members the patterns select; see vzip t --help
for patterns). A member that would replace an existing file is written under
a temporary name beside it and renamed over it only after its CRC-32 has
passed, so a damaged member never destroys an existing file; one that fails
its CRC-32 leaves no file behind. Before anything is written, the free space
of the destination is checked against the total size of the selected members.

Nothing lands outside the destination: a member is refused as unsafe, with
the reason, for a ".." component or control characters in its name, for a
symbolic link on its folder path below the destination (the destination
itself may be reached through links), or for data it shares with another
member. A member that cannot be written (a folder or a file in the way, a
name too long, no permission) is reported and the others are extracted; a
full disk ends the run. Members made on Unix-like hosts get their permission
bits back, less the umask.

Options:
  -d, --dest DEST        extract into DEST (made when missing); default: the
                         current folder
  --paths stored         recreate the stored folders below DEST (default)
  --paths none           put every file directly into DEST
  --paths volume         recreate the stored volumes and folders as stored:
                         absolute stored folders are restored where they
                         were, other stored folders below /; -d is not used
  --root DIR             with stored paths: remove the stored folder DIR/
                         from the front of each member's folder (default: the
                         drive of the first member that stores one, such as C:)
  -o, --overwrite MODE   existing files: prompt (ask on a terminal; without
                         one, keep them and count them as problems; the
                         default), always, never (keep them; no problem)
)";

constexpr const char* kPrint = R"(Usage: vzip p|print ARCHIVE MEMBER [-p PASSWORD | -e]

Writes the member to standard output, byte for byte. MEMBER is the stored
name (as vzip l shows it); it is matched like a pattern, so a pattern that
selects several members prints them one after the other.

Options:
)";

constexpr const char* kAdd =
    R"(Usage: vzip a|add ARCHIVE FILE|FOLDER|PATTERN... [-r] [--paths MODE] [--root DIR]
                     [-0..-9] [-p PASSWORD | -e [--encrypt KIND]]
                     [--update | --freshen | --replace]
                     [--move] [--span SIZE [--first-span SIZE] | --span disks]
                     [--temp DIR] [--no-wait] [-j N]
       vzip a|add ARCHIVE --stdin NAME [-0..-9] [-p PASSWORD]

Adds files to ARCHIVE, which is made when it does not exist. A folder adds
the files in it, with -r its whole tree; a quoted PATTERN ('src/*.c') is
expanded by vzip, with -r in every subfolder too. Empty folders are stored as
folder entries. The archive itself is never added. An existing archive is
rebuilt under a temporary name and replaces the old one only when everything
has succeeded; an archive reached through a symbolic link is updated where
the link points. Each member keeps its file's Unix mode.

A file, folder or pattern that cannot be added (missing, unreadable, a
pattern that matches nothing, a name with control characters) is reported
and makes the exit status 1. A read-only archive is refused, and so is a
damaged one (repair it first with vzip r).

While vzip changes an archive it holds the lock of the file .ARCHIVE.lock
beside it, which it leaves in place; a second vzip waits for the first
(saying so after a second) unless --no-wait is given.

Options:
  -r, --recurse         also search subfolders of folders and patterns
                        (folders whose names begin with "." are not entered)
  --paths relative      store each file's folder relative to the root folder
                        (default; the root is the current folder), so
                        "vzip a x.zip src -r" stores src/...
  --paths full          store each file's whole folder, without the leading /
  --paths volume        store each file's whole folder with the leading /
  --paths none          store file names only
  --root DIR            the root folder for --paths relative
  -0 .. -9              compression level: 0 stores, 1 is fastest, 9 smallest
                        (default 6)
  -j, --jobs N          compress with N threads (default: one per core): the
                        next files are compressed while one is written. The
                        archive is the same whatever N; -j 1 uses one thread.
                        Files over 8 MiB, --span and --stdin use one thread
  --encrypt KIND        how the files added with -p or -e are enciphered:
                        traditional (default), aes128 or aes256. AES is far
                        stronger, and 7-Zip, WinZip and vzip open it, but
                        Windows Explorer cannot: it opens only traditional
  --update              add new files, replace members whose file is newer
                        (default)
  --freshen             only replace members whose file is newer; add nothing
  --replace             add new files and replace members whatever their date
  --move                delete the source files once the archive is safely
                        in place
  --span SIZE           split a new archive into parts of SIZE (such as 1440k,
                        100m, 1g; at least 64k): ARCHIVE's name with the
                        extensions .001, .002, ...; the last part holds the
                        directory. When everything fits into one part, it
                        keeps ARCHIVE's name.
  --first-span SIZE     a different size for the first part
  --span disks          split over removable disks, each filled to its free
                        space; vzip asks for the next disk (terminal only)
  --temp DIR            folder for the temporary archive (default: $TMPDIR or
                        /tmp); it must exist
  --no-wait             fail at once when another program is changing the
                        archive, instead of waiting for it
  --stdin NAME          add what standard input holds as the member NAME (read
                        into memory first; dated now)
)";

constexpr const char* kDelete = R"(Usage: vzip d|delete ARCHIVE NAME|PATTERN...

Deletes members. A NAME is a whole stored name, spelt exactly (src/a.txt), and
deletes one member; a PATTERN deletes every member it matches, ignoring case:
a pattern without / is matched against the file name alone (*.tmp in any
folder), one with / against the whole stored name (docs/*.txt). The archive is
rebuilt under a temporary name and replaces the old one only when complete.
)";

constexpr const char* kComment = R"(Usage: vzip c|comment ARCHIVE [MEMBER] [--set TEXT | --file F]

Without --set or --file, writes the archive comment (or MEMBER's comment) to
standard output. With them, changes it; an empty TEXT removes it.

Options:
  --set TEXT    the new comment
  --file F      the new comment is the content of the file F (- reads
                standard input)
)";

constexpr const char* kSfx = R"(Usage: vzip s|sfx ARCHIVE [-o always|never|prompt]

Makes a self-extracting program: the stub vnsfx32 (found beside vzip)
followed by the archive, written as ARCHIVE with the extension .exe and made
executable. The archive itself is not changed. A multi-part archive cannot
be made self-extracting.

Options:
  -o, --overwrite MODE   an existing .exe: prompt (ask on a terminal; without
                         one, keep it; the default), always, never
)";

constexpr const char* kRepair = R"(Usage: vzip r|repair ARCHIVE [OUTPUT] [-o always|never|prompt]

Reads a damaged archive (its directory, or where that is lost, the members'
own headers) and writes every member it finds into a new, well-formed
archive OUTPUT (default: ARCHIVE's name with _Fixed before the extension).
ARCHIVE is not changed.

Options:
  -o, --overwrite MODE   an existing OUTPUT: prompt (ask on a terminal;
                         without one, keep it; the default), always, never
)";

}  // namespace

std::string VersionText() {
  return std::string("vzip ") + VZ_VERSION + " (Varnel Zip, engine " +
         std::to_string(TUnZipEngine::kThisVersion) + ")\n";
}

std::string ToolHelp() {
  return VersionText() + "\n" + kTool + kExitStatus;
}

std::string CommandHelp(TCommandKind command) {
  std::string page;
  switch (command) {
    case TCommandKind::List:
      page = std::string(kList) + kNames + kCommon;
      break;
    case TCommandKind::Test:
      page = std::string(kTest) + kPasswords + kNames + kCommon;
      break;
    case TCommandKind::Extract:
      page = std::string(kExtract) + kPasswords + kNames + kCommon;
      break;
    case TCommandKind::Print:
      page = std::string(kPrint) + kPasswords + kNames + kCommon;
      break;
    case TCommandKind::Add:
      page = std::string(kAdd) + kPasswords + kCommon;
      break;
    case TCommandKind::Delete:
      page = std::string(kDelete) + "\nOptions:\n" + kNames + kCommon;
      break;
    case TCommandKind::Comment:
      page = std::string(kComment) + kNames + kCommon;
      break;
    case TCommandKind::Sfx:
      page = std::string(kSfx) + kCommon;
      break;
    case TCommandKind::Repair:
      page = std::string(kRepair) + kCommon;
      break;
  }
  return page + "\n" + kExitStatus;
}

}  // namespace vz::cli
