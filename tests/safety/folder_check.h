// The safety criterion for a folder the program has worked on: every file
// holds one of its acceptable contents, or a complete PNG with the same
// pixels as one of them, and nothing else has appeared.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace repng::safety {

struct FileExpectation {
  // The contents the file may have been given, by us or another process.
  std::vector<std::string> versions;
  // Another process may have deleted it.
  bool may_vanish = false;
};

// Name in the folder -> what it may hold.
using FolderExpectation = std::map<std::string, FileExpectation>;

// Each file of the folder as it is now, with itself as its one version.
FolderExpectation ExpectUnchangedOrRewritten(const std::string& folder);

struct FolderVerdict {
  size_t files_checked = 0;
  size_t unchanged = 0;
  size_t rewritten = 0;
  size_t vanished = 0;
  size_t damaged = 0;  // lost, or neither a version nor its picture as PNG
  size_t stray = 0;    // names that were not there before
  std::vector<std::string> problems;

  bool Clean() const { return damaged == 0 && stray == 0; }
};

FolderVerdict CheckFolder(const std::string& folder, const FolderExpectation& expectation);

// True when `candidate` is a complete PNG whose pixels, premultiplied, are
// those of the picture `original` decodes to.
bool IsSamePictureAsPng(const std::string& original, const std::string& candidate);

}  // namespace repng::safety
