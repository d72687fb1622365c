// New files that have no name in their folder until they are complete
// (O_TMPFILE), so that a process killed while writing one leaves nothing
// behind. Each call sets errno when it fails.
#pragma once

#include <string>

#include "platform/posix/kernel32/unique_fd.h"

namespace repng::posix {

// An unnamed file for reading and writing in the folder of `name`, readable
// and writable by its owner only. Invalid, with errno EOPNOTSUPP, where the
// file system keeps no unnamed files.
UniqueFd OpenUnnamedFile(const std::string& name);

// Gives the unnamed file behind fd the name `name`, which must be free.
bool LinkUnnamedFile(int fd, const std::string& name);

// Puts the unnamed file behind fd, created as `own_name` in the folder of
// `target`, in the place of `target`, atomically: it is linked under
// `own_name` with a unique suffix and renamed over it. On failure no new name
// is left behind.
bool MoveUnnamedFileOver(int fd, const std::string& own_name, const std::string& target);

// rename(2), where tests can make it fail.
bool RenameIntoPlace(const std::string& from, const std::string& to);

}  // namespace repng::posix
