// PrivateFileIo's replacement and first making, the same on every system:
// the file written aside by the system's own step (WriteAside), then moved
// over the old one, or given its name only when it has none yet; renaming,
// removing and making folders (the owner's alone) are FileOps.h's.
#include "platform/FileOps.h"
#include "platform/PrivateFileIo.h"

namespace private_file_io {

bool MakePrivateFolderOf(const std::string& path, std::string* error) {
  const std::string dir = ParentDirectory(path);
  if (MakeDirectories(dir, NewDirectory::kPrivate) == FileFault::kNone) return true;
  *error = "cannot make " + dir + " (" + LastError() + ")";
  return false;
}

bool ReplacePrivate(const std::string& path, const std::string& text, std::string* error) {
  if (!MakePrivateFolderOf(path, error)) return false;
  const std::string part = path + ".part";
  std::string why;
  bool made = false;
  if (!WriteAside(part, text, &why, &made)) {
    *error = "cannot write " + (made ? path : part) + " (" + why + ")";
    return false;
  }
  // Moving over a link replaces the link itself, never its target; on
  // Windows the move is on the disk when it returns.
  if (MoveFileOver(part, path, MoveWait::kOnDisk) != FileFault::kNone) {
    *error = "cannot write " + path + " (" + LastError() + ")";
    RemoveFile(part);
    return false;
  }
  return true;
}

Made MakePrivate(const std::string& path, const std::string& text, std::string* why) {
  const std::string part = path + ".part";
  bool made = false;
  if (!WriteAside(part, text, why, &made)) return made ? Made::kCannotWrite : Made::kCannotMake;
  // Put in place only if no other program made one meanwhile.
  bool taken = false;
  if (MoveFileToNewName(part, path, &taken) == FileFault::kNone) return Made::kMade;
  if (!taken) *why = LastError();
  RemoveFile(part);
  return taken ? Made::kExists : Made::kCannotWrite;
}

}  // namespace private_file_io
