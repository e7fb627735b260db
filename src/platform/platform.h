// The operating-system layer of VolKarn. This is the only part of the
// program that talks to POSIX; everything above it sees the program's own
// terms: packed local file stamps, a read-only bit, the program's error
// codes and a named single-instance lock.
//
// All texts are UTF-8 (file names are passed through as the bytes on disk).
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// ---------------------------------------------------------------- stamps --

// Packed MS-DOS local date-time: bits 25..31 year-1980, 21..24 month,
// 16..20 day, 11..15 hour, 5..10 minute, 0..4 seconds/2. Held unsigned so
// that stamps from 2044 on still compare as later.
using DosStamp = std::uint32_t;

// Broken-down local time.
struct LocalTime {
  int year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  int millisecond = 0;
};

// Local time of a POSIX time (localtime_r).
LocalTime ToLocal(std::time_t t, long nanoseconds = 0);
// The current local date and time.
LocalTime Now();
// Packs a local time; before 1980 clamps to 1 Jan 1980 00:00:00, after 2107
// to the largest stamp.
DosStamp PackDosStamp(const LocalTime& lt);
// Packs the local time of a POSIX time.
DosStamp DosStampOf(std::time_t t);

// ------------------------------------------------------ file descriptors --

// Owns an open file descriptor and closes it when it goes (or when another
// takes its place): every way out of a function closes what it opened.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the held descriptor and holds `fd` instead.
  void Reset(int fd = -1);
  // Closes now; the result of close() (0, or -1 with errno set), 0 when
  // nothing is held.
  int Close();

 private:
  int fd_ = -1;
};

// ----------------------------------------------------------- directories --

enum class EntryKind { Directory, File, Symlink, Other };

struct DirEntry {
  std::string name;  // bare name as stored on disk
  EntryKind kind = EntryKind::File;
  bool hidden = false;    // the name begins with "."
  bool readOnly = false;  // the owner has no write permission
  std::uint64_t size = 0;
  DosStamp stamp = 0;  // last-write time, packed local
  std::time_t mtime = 0;
  long mtimeNsec = 0;
  // The error code (MapErrno) when the entry could not be described: it
  // is known by its name and the kind the folder gives only, its stamp is
  // not known. 0 otherwise.
  int error = 0;
};

// The identity of a folder or file: device and inode. Two paths name the
// same folder exactly when their identities are equal, however they are
// spelled (links, "//", "/./").
struct FileId {
  std::uint64_t dev = 0;
  std::uint64_t ino = 0;
  bool known = false;
  bool operator==(const FileId&) const = default;
};
// The identity of what the path leads to (links followed); unknown when
// nothing is there.
FileId IdOf(const std::string& path);

// One open directory. Entries are described
// with lstat relative to the directory's descriptor: a symlink is reported
// as itself and never followed. "." and ".." are never returned.
class DirLister {
 public:
  explicit DirLister(const std::string& dir);
  // Opens the folder `name` of the open listing `parent` without following
  // a link: a folder swapped for a link (or a file) since the parent was
  // listed is not opened, and TurnedIntoNonFolder() tells so. `path` is
  // the folder's full path (for the fault hook "list-dir").
  DirLister(const DirLister& parent, const std::string& name, const std::string& path);
  ~DirLister();
  DirLister(const DirLister&) = delete;
  DirLister& operator=(const DirLister&) = delete;

  // False when the directory could not be opened (missing, no access).
  bool IsOpen() const;
  // Fills the next entry; false at the end, also when reading the folder
  // failed on the way (ReadError). With describe false only the name and
  // the kind (from the directory entry, lstat only where the file system
  // does not tell) are filled: cheaper for callers that need no stamp.
  bool Next(DirEntry& entry, bool describe = true);
  // The error code (MapErrno) of a read that failed before the listing's
  // end (a failing disk, a dropped network share): the entries after it
  // were never seen. 0 when Next has come to the real end or not yet to
  // any end.
  int ReadError() const;
  // The descriptor of the open directory (for SourceRef), -1 when it is
  // not open. Stays owned by the listing.
  int Handle() const;
  // The identity of the open folder.
  FileId Id() const;
  // True when the folder could not be opened because the name now leads
  // to something that is no folder (a link or a file).
  bool TurnedIntoNonFolder() const { return notFolder_; }
  // Describes the entry `name` of this listing anew (lstat, no link
  // followed). False when it is gone.
  bool Describe(const std::string& name, DirEntry& entry) const;

 private:
  friend bool ListFileNames(const std::string&, std::vector<std::string>&, std::size_t);
  friend bool DescribeListed(const DirLister&, DirEntry&);
  bool notFolder_ = false;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The names in the folder `dir` for which FileExists would be true (all
// but sub-folders), sorted, at most `limit` of them. False, with no names,
// when the folder cannot be listed. A name missing here may still be found
// by FileExists (a target that ignores letter case, a file made since, more
// names than the limit): this is a quick yes, never a final no.
bool ListFileNames(const std::string& dir, std::vector<std::string>& names,
                   std::size_t limit = 65536);

// ------------------------------------------------------------ file tests --

// True for regular files and symlinks (not followed) and anything else that
// is not a directory (fifo, socket, device); false for directories and
// missing paths.
bool FileExists(const std::string& path);
// True for a real directory; a symlink to a directory is not one.
bool DirExists(const std::string& path);
// True when anything (file, link, directory, other) exists at the path.
bool PathExists(const std::string& path);
// Creates the directory and all missing parents. True on success or when
// it exists already as a directory (a symlink to a directory serves).
bool CreateDirPath(const std::string& path);
// Makes the one folder `path` (its parent must exist), open to its owner
// only. Result 0, kErrFileExists when something is there already,
// kErrPathNotFound when the parent is missing, or an error code.
int MakeOwnFolder(const std::string& path);
// Gives the file, link or folder `from` the new name `to` on the same file
// system, never replacing anything there. Result 0, kErrFileExists when
// `to` exists, or an error code (kErrAccessDenied for another file system).
int MoveNoReplace(const std::string& from, const std::string& to);
// Deletes a file (not a directory). True on success.
bool DeleteFile(const std::string& path);
// Attribute bits as the stored files number them; only the read-only bit
// is mapped (the owner's write permission).
constexpr std::uint16_t kAttrReadOnly = 1;
bool HasAttributes(const std::string& path, std::uint16_t bits);
bool ClearAttributes(const std::string& path, std::uint16_t bit);
// Clears every write permission (the file becomes read-only). False for a
// missing path or a symlink.
bool MakeReadOnly(const std::string& path);
// True when the path is a regular file with an execute bit.
bool IsExecutableFile(const std::string& path);
// True when the directory exists and this process may create files in it.
bool DirWritable(const std::string& path);

// ------------------------------------------------------------ file copy --

// The program's numbering of the copy errors (that of its error texts).
constexpr int kErrFileNotFound = 2;
constexpr int kErrPathNotFound = 3;
constexpr int kErrAccessDenied = 5;
constexpr int kErrWriteProtect = 19;
constexpr int kErrNotReady = 21;
constexpr int kErrSharingViolation = 32;
constexpr int kErrFileExists = 80;
// The target cannot hold what is asked: a symbolic link there.
constexpr int kErrNotSupported = 50;
constexpr int kErrDiskFull = 112;
// The folder exists, but its file system refuses the name (characters
// such as ":" or "?" on FAT, exFAT and NTFS, a trailing dot or blank, a
// name too long).
constexpr int kErrInvalidName = 123;
// The file is too large for the target's file system (4 GiB on FAT32).
constexpr int kErrFileTooLarge = 223;
constexpr int kErrDirectory = 267;

// Maps an errno value to the program's numbering; every errno gives a code
// that the error table knows: ENOENT 2; ENOTDIR, ENAMETOOLONG, ELOOP 3;
// EACCES, EPERM, EISDIR, ENOTEMPTY, EXDEV, EINVAL, EOPNOTSUPP, ENOSYS and
// the like 5; EMFILE, ENFILE, ENOMEM, ENOBUFS 8; EROFS 19; EBUSY, ETXTBSY,
// EAGAIN, EDEADLK, ENOLCK 32; EEXIST 80; ENOSPC, EDQUOT 112; EFBIG 223; EIO and
// everything else (lost device, medium or network share) 21.
int MapErrno(int err);

// Copies one file: content (reflink, then
// copy_file_range, then read/write), permission bits and the mtime with
// nanoseconds; a symlink is copied as a symlink. The new content goes into
// a temporary file in the destination folder and replaces the destination
// only when complete, so a failed copy never damages an existing
// destination and leaves no temporary file. With failIfExists an existing
// destination gives kErrFileExists. A missing destination folder gives
// kErrPathNotFound, a source that is no regular file or symlink
// kErrAccessDenied. The copy is not flushed to disk (SyncFileSystem once
// at the end). Set-user/group-id bits are kept only where the copy has the
// source's owner or group. Result 0 or an error code.
int CopyFile(const std::string& source, const std::string& dest, bool failIfExists);
// CopyFile that replaces an existing destination unless it is read-only
// (a file whose owner has no write permission): that one stays and the
// result is kErrWriteProtect, or with clearReadOnly its bit is cleared
// (ClearAttributes) and it is replaced. The destination is looked at only
// when it turns out to exist, so a copy to a new name costs no extra call.
int CopyFileReplacing(const std::string& source, const std::string& dest, bool clearReadOnly);
// The source as an entry of an open listing: the listing's Handle and the
// bare name. The copy then opens it relative to the folder instead of
// resolving the full path again; the full path still names it in the
// fault hook. A dirHandle below 0 or no name means the full path.
// `targetHandle`, when 0 or above, is an open handle of the destination's
// folder (OpenFolderHandle of the folder `dest` lies in): the copy is then
// made and named relative to it, and by the path only where the handle's
// folder has been removed meanwhile.
struct SourceRef {
  int dirHandle = -1;
  const std::string* name = nullptr;
  int targetHandle = -1;
};
// A handle of the folder `path` for SourceRef::targetHandle; not valid
// when the folder cannot be opened (the copy then goes by the path). It
// holds no right to read the folder, only its place.
UniqueFd OpenFolderHandle(const std::string& path);
// What a copy could not carry over to its target; set by the copy, never
// cleared by it.
struct CopyLosses {
  // Extended attributes or access lists (ACL) that the target refused.
  bool attributes = false;
  // Beside the losses: the size of the content a successful copy wrote.
  std::uint64_t bytes = 0;
};
// CopyFileReplacing with the source opened through `at` (which must name
// the same file as `source`). Besides content, permissions and time the
// copy keeps, where the target can hold them, the source's owner and
// group (as root; another user the group where he belongs to it, never
// failing for it) and its user attributes and access list; `losses`
// (when given) learns what the target refused.
int CopyFileReplacing(const std::string& source, const std::string& dest, bool clearReadOnly,
                      const SourceRef& at, CopyLosses* losses = nullptr);
// What a copy does with the destination it would replace, and what it
// tells back. With it the copy never replaces anything: once the new
// content is complete, an existing destination (a file or a link, never a
// folder) is handed to `keep`, which moves it away (a rename), and then
// the new content takes the free name without replacing (linkat,
// RENAME_NOREPLACE). Should the name be taken again meanwhile, that is
// kept too. So at every moment the old content is either at its place or
// where `keep` put it, whenever the process is killed. A read-only
// destination stays where clearReadOnly is false (kErrWriteProtect);
// otherwise it is kept as it is, read-only bit and all.
struct KeepReplaced {
  // Moves the destination `dest` away; result 0 or an error code (the
  // program's numbering), which is then the copy's result with the
  // destination left as it was.
  std::function<int(const std::string& dest)> keep;
  // Set by the copy: true when it replaced a destination (kept), false
  // when it added a new file.
  bool replaced = false;
  // Set by the copy: the result of `keep` when it failed, else 0.
  int keepError = 0;
};
// CopyFileReplacing that keeps what it replaces (`keep` may be null: the
// plain replacement above).
int CopyFileReplacing(const std::string& source, const std::string& dest, bool clearReadOnly,
                      const SourceRef& at, CopyLosses* losses, KeepReplaced* keep);

// ----------------------------------------------------- folders of a copy --

// A folder of a copy is made open to its owner only and gets the
// permissions of its source folder once its content is in place, so that
// a private folder never stands open, not even for a moment.

// False when the file system of the folder `dir` keeps no permission bits
// (a probe file made there is given two modes and looked at): FAT, exFAT,
// NTFS as mounted from removable disks and some network shares, which
// keep no owners, attributes or access lists either. True where it keeps
// them, and where no probe can be made (nothing is claimed then).
bool KeepsPermissions(const std::string& dir);
// Readies the folder `path` (its parent must exist) for the copy of the
// open source folder `sourceDir` (a listing's Handle). A missing folder is
// made, open to its owner only (`made` set); an existing one loses at
// once what it grants the group or others beyond the source, and its
// owner may write into it until FinishCopyFolder. A link to a folder
// serves as it is. Result 0 or an error code: kErrPathNotFound when the
// parent is missing, kErrDirectory when something else is in the way.
int PrepareCopyFolder(int sourceDir, const std::string& path, bool& made);
// Makes the missing folders of the relative path `folder` below the
// existing folder `root`, each open to its owner only. Result 0, or
// kErrPathNotFound when `root` is missing (it is never made here), or an
// error code (kErrDirectory: something else in the way).
int MakeFoldersBelow(const std::string& root, const std::string& folder);
// Gives the folder `path` the permission bits and times of the open
// source folder `sourceDir`, its owner and group as a copied file gets
// them, and its user attributes and access lists (those the target has
// beyond them go). Only what differs is changed; a link is left alone.
// `losses` (when given) learns what the target refused.
void FinishCopyFolder(int sourceDir, const std::string& path, CopyLosses* losses = nullptr);

// True when the file system that holds the folder `dir` does not tell
// names apart by letter case (FAT, exFAT, NTFS as mounted on removable
// disks, some network shares): a probe file is made there, looked up with
// its letters' case swapped and removed. False when no probe can be made.
bool IgnoresLetterCase(const std::string& dir);

// True when the file system of the path lies on a rotating disk (as the
// kernel tells; false where no block device is behind it). Large files
// from or to such a disk are copied one at a time even by several
// threads.
bool OnRotatingDisk(const std::string& path);

// Removes what copies cut short (killed, power lost) left in the folder
// `targetDir`: files and symlinks named like the copy's temporary files
// (".<name>.vktmp-" and six letters or digits) that the source folder,
// the open listing `sourceDirHandle`, does not hold itself. Nothing is
// removed without a source listing. Result: the number removed.
int RemoveCopyLeftovers(const std::string& targetDir, int sourceDirHandle);

// True for a name made like a copy's temporary file (".<name>.vktmp-" and
// six letters or digits).
bool IsCopyTempName(const std::string& name);

// Removes the temporary files that writes cut short left in the folder
// `dir` (regular files named like them); with `of` only those of the file
// named `of`. For folders that only this program writes to. Result: the
// number removed.
int RemoveTempLeftovers(const std::string& dir, const std::string& of);

// Removes the folder `path` with everything in it, fast (openat,
// unlinkat, the listing's own entry kinds): links are removed, never
// followed, and a folder on another file system (a mount point inside)
// is never entered; it and the folders above it stay, and the result
// tells. Folders without write or read permission for their owner get it
// for the removal. Result 0 (also when nothing is there) or the error code
// of the first entry that could not be removed (the rest is still
// removed where it can be).
int RemoveTree(const std::string& path);

// Flushes the file system that holds the path (syncfs). True on success.
bool SyncFileSystem(const std::string& path);

// ------------------------------------------------------------ whole files --

// Reads a whole file into bytes. False when it cannot be opened or read;
// errorCode then holds the error code.
bool ReadWholeFile(const std::string& path, std::string& bytes, int* errorCode = nullptr);
// Replaces a file atomically: temporary file in the same folder, fsync,
// rename. A failure leaves the old file as it was. Result 0 or an error code.
int WriteFileAtomic(const std::string& path, const std::string& bytes);
// Appends bytes to a file (made when missing) with one write, so that a
// process killed at any moment leaves either all of them or none (a full
// disk may cut them short). `onNewLine`: when the file does not end with a
// line feed, a CR LF goes first. `sizeAfter`, when given, learns the
// file's size after the write. Result 0 or an error code.
int AppendToFile(const std::string& path, const std::string& bytes, bool onNewLine = true,
                 std::uint64_t* sizeAfter = nullptr);
// The number of this process, and whether the process of that number runs
// this same program file (a number taken again by another program does not
// count).
int CurrentProcessId();
bool SameProgramRunning(int pid);

// ------------------------------------------------------- program and user --

// Full path of the running program's file (/proc/self/exe).
std::string ProgramFile();
// $XDG_DATA_HOME/VolKarn/, by default ~/.local/share/VolKarn/, ending in "/".
std::string UserDataDir();
// $XDG_CONFIG_HOME/VolKarn/, by default ~/.config/VolKarn/, ending in "/".
std::string UserConfigDir();
// The user's runtime folder (the local socket of a running window, the
// session bus): $XDG_RUNTIME_DIR, else the user's /run/user/<uid> when it
// exists, else /tmp (without a trailing "/").
std::string RuntimeDir();
// The numeric id of the user running the program.
unsigned int UserId();

// Single instance per data folder: an exclusive flock on
// the lock file `name` + ".lock" inside the data folder, so that any two
// programs that share a data folder exclude each other whatever their
// environment. Where that file cannot be made (a folder that cannot be
// written) the folder itself is locked. Released by the operating system
// when the process ends in any way.
class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  enum class Result { Acquired, HeldElsewhere, NotPossible };
  // Acquired when this process now holds the lock, HeldElsewhere when
  // another process holds it. NotPossible when the file system cannot
  // lock at all (or the data folder is missing): no other program is
  // claimed then. The name is a bare file-name stem.
  Result Acquire(const std::string& dataDir, const std::string& name);
  void Release();

 private:
  int fd_ = -1;
};

// ----------------------------------------------------------------- launch --

// Starts a program with one argument, or opens a document with its
// associated program (xdg-open), detached, with an argument vector and
// never through a shell. "notepad.exe" and "wordpad.exe" name the text
// viewer: the first graphical text editor installed. Result above 32 on
// success, 31 when no such program or association exists, 2 when the file
// is missing.
int LaunchFile(const std::string& file, const std::string& parameters);

// The first installed graphical text editor, or empty.
std::string FindTextEditor();

// ------------------------------------------------------ console and session --

// True when the descriptor is a terminal.
bool IsTerminal(int fd);
// Width of the terminal in characters; 0 when not known.
int TerminalColumns(int fd);
// From now on SIGINT and SIGTERM only note that a cancel was asked for
// (CancelSignalled); interrupted system calls are restarted.
void CatchCancelSignals();
// True once SIGINT or SIGTERM arrived after CatchCancelSignals.
bool CancelSignalled();

// Shows a desktop notification through the freedesktop notification
// service of the session bus, with `gdbus` or else `notify-send`. Nothing
// happens (false) without a session bus or without either program; waits
// at most a moment for the program.
bool SendDesktopNotification(const std::string& summary, const std::string& body);

// ------------------------------------------------------------- test hooks --

// Fault injection for tests: called before an operation with the path
// concerned; a non-zero result is taken as the errno of that step.
//   "list-dir"          DirLister, before the folder is opened
//   "enter-dir"         DirLister of a sub-folder, before it is opened
//                       (tests swap the folder there; 0 goes on)
//   "read-dir"          DirLister::Next, before each read of the folder
//                       (its path): the listing ends with that error
//   "describe-entry"    DirLister::Next and DescribeListed, before the lstat
//                       of an entry (the folder's path and the name)
//   "disk-wait"         ReadAhead, after a folder was read ahead (its path):
//                       non-zero counts as having waited for the disk
//   "target-name"       CopyFile, before the destination name is made
//   "make-link"         CopyFile of a symlink, before the link is made
//   "case-probe"        IgnoresLetterCase: non-zero means it ignores case
//   "lock-file"         InstanceLock, before the lock file is opened
//   "dir-writable"      DirWritable: a non-zero result makes it false
//   "copy-open-source"  CopyFile, before the source is opened (source path)
//   "copy-write"        CopyFile, half way through the content (destination)
//   "copy-link"         CopyFile, before the copy replaces the destination
//   "write-atomic"      WriteFileAtomic, after the temporary file is written
//   "append"            AppendToFile, before the bytes are written
//   "create-dir"        CreateDirPath, before anything is checked or made;
//                       PrepareCopyFolder and MakeFoldersBelow, before a
//                       folder is made; MakeOwnFolder
//   "move"              MoveNoReplace, before the name changes (the source)
//   "remove-tree"       RemoveTree, before each entry is removed (its path)
//   "clear-attributes"  ClearAttributes, before the permissions change
//   "permission-probe"  KeepsPermissions: non-zero means it keeps none
//   "keep-attributes"   CopyFile of a file with extended attributes (the
//                       destination) and FinishCopyFolder (the folder):
//                       non-zero means the target refuses them
using FaultHook = std::function<int(const std::string& operation, const std::string& path)>;
void SetFaultHook(FaultHook hook);
// True while a fault hook is set.
bool FaultHookInstalled();

// Replaces the real launcher (tests record launches instead of starting
// programs). The hook returns the launch result.
using LaunchHook = std::function<int(const std::string& file, const std::string& parameters)>;
void SetLaunchHook(LaunchHook hook);

}  // namespace platform
