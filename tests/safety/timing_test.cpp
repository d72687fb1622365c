// Timing: the program killed with SIGKILL at random moments of a batch, many
// times over; several instances on the same files; an instance while another
// process rewrites or deletes some of them. No file is ever damaged, and
// every line printed is one of the program's lines.
#include <signal.h>
#include <unistd.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <regex>
#include <thread>

#include "safety/batch_support.h"

namespace repng::safety {
namespace {

using Clock = std::chrono::steady_clock;

// Names that share a file: pictures with two and three hard links, and a
// symbolic link to one of the linked ones. (name, the name it links to)
struct LinkedNames {
  std::vector<std::pair<std::string, std::string>> hard;
  std::vector<std::pair<std::string, std::string>> symbolic;
};

// Among the pictures the program makes smaller, every third gets a second
// name, every third a second and a third name and a symbolic link to it;
// the rest keep one name.
LinkedNames LinksAmong(const Files& files) {
  LinkedNames links;
  size_t picture = 0;
  for (const auto& [name, content] : files) {
    if (name.ends_with(".txt") || content.size() < 1000) continue;  // skipped, or cut short
    const std::string stem = name.substr(0, name.find('.')), extension = name.substr(name.find('.'));
    switch (picture++ % 3) {
      case 0: links.hard.push_back({stem + "-2" + extension, name}); break;
      case 1:
        links.hard.push_back({stem + "-2" + extension, name});
        links.hard.push_back({stem + "-3" + extension, name});
        links.symbolic.push_back({stem + "-s" + extension, stem + "-3" + extension});
        break;
      default: break;
    }
  }
  return links;
}

void MakeLinks(const ScratchFolder& folder, const LinkedNames& links) {
  for (const auto& [name, target] : links.hard)
    ASSERT_EQ(link(folder.PathOf(target).c_str(), folder.PathOf(name).c_str()), 0) << name;
  for (const auto& [name, target] : links.symbolic)
    ASSERT_EQ(symlink(target.c_str(), folder.PathOf(name).c_str()), 0) << name;
}

// Links stay links: a kill never leaves a name that has left its file.
std::vector<std::string> BrokenLinks(const ScratchFolder& folder, const LinkedNames& links) {
  std::vector<std::string> broken;
  for (const auto& [name, target] : links.hard)
    if (!std::filesystem::equivalent(folder.PathOf(name), folder.PathOf(target))) broken.push_back(name);
  for (const auto& [name, target] : links.symbolic)
    if (!std::filesystem::is_symlink(folder.PathOf(name))) broken.push_back(name);
  return broken;
}

struct Leftovers {
  size_t new_files = 0;       // .~repng<n>-<pid>-<m>: the new PNG, named just before its rename
  size_t old_copies = 0;      // .~repng<n>: a linked picture's old content, saved before it was written over
  size_t restored_names = 0;  // linked names caught half-written, put right from that copy
};

// A kill can leave two kinds of file behind (the README says so). The new
// PNG must be a complete PNG of a picture of the batch; the copy of a
// linked picture's old content must be one of the batch's pictures whole.
// A kill in the moment between the in-place write and its cut to length
// leaves the linked names half-written: they are put right from the copy,
// as the README tells the user to, and counted. Leftovers are then removed.
void ClearKillLeftovers(const ScratchFolder& folder, const Files& files, Leftovers& leftovers) {
  const auto is_new = [&](const std::string& content) {
    return std::ranges::any_of(files, [&](const auto& file) { return IsPngOf(file.second, content); });
  };
  const auto is_old = [&](const std::string& content) {
    return std::ranges::any_of(files, [&](const auto& file) { return file.second == content; });
  };
  for (const std::string& name : folder.Names()) {
    const bool new_file = std::regex_match(name, std::regex(R"(\.~repng\d-\d+-\d+)"));
    const bool old_copy = std::regex_match(name, std::regex(R"(\.~repng\d)"));
    if (!new_file && !old_copy) continue;
    const std::string content = testing::ReadBytes(folder.PathOf(name));
    if (new_file) {
      EXPECT_TRUE(is_new(content)) << name;
      ++leftovers.new_files;
    } else {
      EXPECT_TRUE(is_old(content) || is_new(content)) << name;
      ++leftovers.old_copies;
      for (const std::string& other : folder.Names()) {
        const std::string now = testing::ReadBytes(folder.PathOf(other));
        if (other.starts_with(".~repng") || is_old(now) || is_new(now) || now.size() > content.size()) continue;
        if (content.compare(0, 8, now, 0, 8) == 0 || now.starts_with("\x89PNG")) {
          testing::WriteBytes(folder.PathOf(other), content);  // in place: every name of it
          ++leftovers.restored_names;
        }
      }
    }
    std::filesystem::remove(folder.PathOf(name));
  }
}

// The program killed at random moments of a batch: every name holds the
// complete old picture or the complete new PNG afterwards.
void KillStorm(const std::string& part, const Files& files, const LinkedNames& links, size_t kills_wanted) {
  ScratchFolder folder;
  const ScratchFolder logs;
  const auto refill = [&] {
    FillFolder(folder, files);
    MakeLinks(folder, links);
  };
  refill();
  const FolderExpectation expectation = Snapshot(folder.Folder());
  const Batch batch = BatchOnFolder(REPNG_PROGRAM, folder, logs);

  const Clock::time_point started = Clock::now();
  ASSERT_EQ(WaitForBatch(StartBatch(batch)), 0);
  long long window = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started).count();
  const unsigned seed = std::random_device{}();
  std::printf("%s: batch of %zu names: %lld ms; seed %u\n", part.c_str(), batch.names.size(), window / 1000, seed);
  std::mt19937 random(seed);

  Tally tally;
  Leftovers leftovers;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(25);
  for (int attempt = 0; tally.kills < kills_wanted && (IsBenchRun() || Clock::now() < deadline); ++attempt) {
    // Between refills, kills meet files that the run before rewrote.
    if (attempt % 4 == 0) refill();
    const pid_t child = StartBatch(batch);
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<long long>(0, window)(random)));
    kill(child, SIGKILL);
    const int status = WaitForBatch(child);
    ASSERT_TRUE(status == 0 || status == 128 + SIGKILL) << status;
    tally.kills += status != 0 ? 1 : 0;
    // A batch that ended before its kill ran faster than the first one.
    if (status == 0) window = window * 3 / 4;
    ClearKillLeftovers(folder, files, leftovers);
    ASSERT_EQ(CheckFolder(folder.Folder(), expectation, tally), std::vector<std::string>{}) << "seed " << seed;
    ASSERT_EQ(BrokenLinks(folder, links), std::vector<std::string>{}) << "seed " << seed;
    tally.inputs += batch.names.size();
  }
  std::printf("%s: kills: %zu; left behind: %zu new files, %zu copies of old content; %zu names half-written\n",
              part.c_str(), tally.kills, leftovers.new_files, leftovers.old_copies, leftovers.restored_names);
  EXPECT_GE(tally.kills, kSanitized ? 3u : 8u);
  RecordTally(part, tally);
}

TEST(TimingTest, AKillAtAnyMomentLosesNoFile) {
  // A few hundred small files and 200+ kills in bench/safety; in CI what
  // fits in half a minute, fewer under the sanitizers.
  const Files files = MakeSampleBatch(IsBenchRun() ? 250 : 100, 8);
  KillStorm("kills", files, {}, IsBenchRun() ? 220 : kSanitized ? 10 : 40);

  // The check itself sees damage: the PNG of another picture of the batch,
  // and a file that was not there.
  ScratchFolder folder;
  const ScratchFolder logs;
  FillFolder(folder, files);
  const FolderExpectation expectation = Snapshot(folder.Folder());
  ASSERT_EQ(WaitForBatch(StartBatch(BatchOnFolder(REPNG_PROGRAM, folder, logs))), 0);
  testing::WriteBytes(folder.PathOf("00005.bmp"), testing::ReadBytes(folder.PathOf("00000.bmp")));
  testing::WriteBytes(folder.PathOf(".~repng0"), "");
  Tally unrecorded;
  EXPECT_EQ(CheckFolder(folder.Folder(), expectation, unrecorded),
            (std::vector<std::string>{"00005.bmp: damaged", ".~repng0: stray"}));
}

// Files with two and three names and a symbolic link to one of them are
// written over in place, after a copy of their old content: a kill at any
// moment leaves every name with the old picture or the new PNG, and the
// links as they were.
TEST(TimingTest, AKillAmongLinkedFilesLosesNoName) {
  const Files files = MakeSampleBatch(IsBenchRun() ? 150 : 60, 8);
  const LinkedNames links = LinksAmong(files);
  ASSERT_GE(links.symbolic.size(), 2u);
  KillStorm("kills among links", files, links, IsBenchRun() ? 220 : kSanitized ? 10 : 40);

  // The check itself sees a link that left its file.
  ScratchFolder folder;
  FillFolder(folder, files);
  MakeLinks(folder, links);
  const auto& [name, target] = links.hard.front();
  ASSERT_EQ(unlink(folder.PathOf(name).c_str()), 0);
  testing::WriteBytes(folder.PathOf(name), testing::ReadBytes(folder.PathOf(target)));
  EXPECT_EQ(BrokenLinks(folder, links), std::vector<std::string>{name});
}

// One instance while another process keeps rewriting or deleting some of
// its files, then two and four instances started together on the same files.
TEST(TimingTest, InstancesTogetherOrBesideAnotherProcess) {
  const Files files = MakeSampleBatch(IsBenchRun() ? 400 : kSanitized ? 40 : 100, 8);
  for (const size_t instances : {1, 2, 4}) {
    const std::string part = instances == 1 ? "1 instance beside another process"
                                            : std::to_string(instances) + " instances together";
    SCOPED_TRACE(part);
    ScratchFolder folder;
    const ScratchFolder logs;
    FillFolder(folder, files);
    FolderExpectation expectation = Snapshot(folder.Folder());
    std::vector<Batch> batches(instances, BatchOnFolder(REPNG_PROGRAM, folder, logs));
    std::vector<pid_t> children;
    for (size_t i = 0; i < instances; ++i) {
      batches[i].log = logs.PathOf(std::to_string(i));
      children.push_back(StartBatch(batches[i]));
    }
    // Until the one instance is done, every few milliseconds a file is
    // deleted or saved anew with another picture, as careful programs save:
    // a new file renamed over the old. The files are visited in a stride
    // that reaches them all; the timing varies from run to run anyway.
    size_t changes = 0;
    for (siginfo_t info{}; instances == 1 && waitid(P_PID, id_t(children[0]), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                           info.si_pid == 0 && changes < 100000;
         ++changes) {
      const std::string& name = batches[0].names[changes * 37 % files.size()];
      if (changes % 3 == 2) {
        std::filesystem::remove(folder.PathOf(name));
        expectation[name].may_vanish = true;
      } else {
        const std::string picture = MakeBmpPicture(20 + uint32_t(changes % 7), 16, 5);
        expectation[name].versions.push_back(picture);
        testing::WriteBytes(logs.PathOf("saved"), picture);
        std::filesystem::rename(logs.PathOf("saved"), folder.PathOf(name));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    size_t rewritten = 0;
    for (size_t i = 0; i < instances; ++i) {
      EXPECT_EQ(WaitForBatch(children[i]), 0);
      const Report report = ReadReport(batches[i]);
      EXPECT_EQ(report.foreign_lines, std::vector<std::string>{});
      // One line for each file, whatever another process did to it.
      EXPECT_EQ(report.finished, files.size());
      rewritten += report.rewritten;
    }
    Tally tally{.inputs = files.size() * instances};
    EXPECT_EQ(CheckFolder(folder.Folder(), expectation, tally), std::vector<std::string>{}) << changes << " changes";
    EXPECT_GT(rewritten, 0u);  // worked on, not all refused
    RecordTally(part, tally);
    // The report check itself knows which names are the batch's.
    batches[0].names.pop_back();
    EXPECT_EQ(ReadReport(batches[0]).foreign_lines.size(), 1u);
  }
}

}  // namespace
}  // namespace repng::safety
