// Whole batches for the safety tests: sample files, the program run on them
// as a child process, its report read back, and the safety criterion for
// the folder afterwards: every file holds one of the contents it may have,
// or a complete PNG with the same pixels as one of them, and nothing else
// has appeared.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "kernel32/file_test_support.h"

namespace repng::safety {

using testing::ScratchFolder;

// Quick by default (CI); REPNG_SAFETY_LEVEL=bench makes every test work for
// longer.
bool IsBenchRun();
// Programs run several times slower under AddressSanitizer.
constexpr bool kSanitized =
#if defined(__SANITIZE_ADDRESS__)
    true;
#else
    false;
#endif

// Name to content.
using Files = std::map<std::string, std::string>;
// `count` files 00000.bmp, 00001.png, ... whose kinds take turns: BMP, PNG
// with a bulky text chunk, GIF (all three made smaller by the program), a
// PNG cut short, and text. Pictures are `side` pixels square.
Files MakeSampleBatch(size_t count, uint32_t side = 32);
std::string MakeBmpPicture(uint32_t width, uint32_t height, uint32_t variant);
// Empties the folder and writes the files into it.
void FillFolder(const ScratchFolder& folder, const Files& files);

// The program started in `folder` on `names`, standard input closed (so the
// pause returns at once), standard output into `log` and errors into
// `log`.err.
struct Batch {
  std::string program;
  std::string folder;
  std::vector<std::string> names;
  std::string log;
};
// Every file of the folder, in the folder `logs`.
Batch BatchOnFolder(const char* program, const ScratchFolder& folder, const ScratchFolder& logs);
pid_t StartBatch(const Batch& batch);
// The exit status, or 128 + signal; the program's peak resident KiB when
// asked for.
int WaitForBatch(pid_t child, long* peak_kib = nullptr);

struct Report {
  std::vector<std::string> foreign_lines;  // none of the program's lines about the batch's names
  size_t finished = 0;                     // lines that end a file's report
  size_t rewritten = 0;
  size_t write_failed = 0;
  std::vector<std::string> elsewhere;  // where the lines say a picture is, when not under its name
  bool crashed = false;
};
Report ReadReport(const Batch& batch);

struct FileExpectation {
  std::vector<std::string> versions;  // contents given by us or another process
  bool may_vanish = false;            // another process may delete it
};
using FolderExpectation = std::map<std::string, FileExpectation>;
// Each file of the folder with its present content as its one version.
FolderExpectation Snapshot(const std::string& folder);

// The figures bench/safety prints: with REPNG_SAFETY_TALLY naming a file,
// each test appends one line to it.
struct Tally {
  size_t inputs = 0;
  size_t faults = 0;
  size_t kills = 0;
  size_t files_checked = 0;
  size_t damaged = 0;
};
void RecordTally(const std::string& part, const Tally& tally);

// What is wrong with the folder: "<name>: lost", ": damaged" or ": stray";
// counted into the tally.
std::vector<std::string> CheckFolder(const std::string& folder, const FolderExpectation& expectation, Tally& tally);
// A complete PNG with the same premultiplied pixels as the original picture.
bool IsPngOf(const std::string& original, const std::string& candidate);

}  // namespace repng::safety
