// Replacing a file so that no failure can lose it: the new content goes to
// a temporary file beside it, is forced to the disk, and only then takes the
// file's place in one rename. Until that rename the path names the old file
// whole; after it, the new one whole.
#pragma once

#include <string>

namespace xexpr {

// Replaces the file at `path` (through a symbolic link, its target) by
// `content`, keeping its permission bits. Refuses a file that no longer
// exists or that is read-only. 0, or -1 with `error` set and the file as it
// was.
int replaceFileAtomically(const std::string& path, const std::string& content, std::string& error);

}  // namespace xexpr
