// repng.exe under Wine, end to end, in a throwaway Chinese Wine prefix (the
// ANSI code page is then 936, as on a Chinese Windows): the same cases as the
// Linux program, and the same report and PNG bytes as the Linux program.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/test_support.h"

namespace {

namespace fs = std::filesystem;
using repng::testing::ProgramRun;
using repng::testing::ReadFileBytes;
using repng::testing::RunProgram;
using repng::testing::ScratchFolder;

constexpr char kWine[] = REPNG_WINE;

const char* const kSampleNames[] = {"checker.gif", "glow.png", "landscape.bmp", "notes.txt", "photo.jpg"};
// Made from the samples with ImageMagick, for the codecs the samples leave
// out: TIFF with the compressions of the cross-built libraries, 16-bit PNG.
const char* const kMadeInputs[][2] = {
    {"lzw.tif", "landscape.bmp -compress lzw"},
    {"zstd.tif", "glow.png -compress zstd"},
    {"jpeg.tif", "photo.jpg -compress jpeg"},
    {"deep.png", "glow.png -depth 16"},
};

// The Linux program's own pause prompt, 请按任意键继续. . .
const std::string kLinuxPause = "\xC7\xEB\xB0\xB4\xC8\xCE\xD2\xE2\xBC\xFC\xBC\xCC\xD0\xF8. . .\r\n";
// "，原大小：966字节", "，不是图片，跳过。", "，写入失败，文件未改动。", "，原大小：未知", "，不处理。"
const std::string kOldSize966 = "\xA3\xAC\xD4\xAD\xB4\xF3\xD0\xA1\xA3\xBA" "966\xD7\xD6\xBD\xDA";
const std::string kNotImage = "\xA3\xAC\xB2\xBB\xCA\xC7\xCD\xBC\xC6\xAC\xA3\xAC\xCC\xF8\xB9\xFD\xA1\xA3\r\n";
const std::string kWriteFailed = "\xA3\xAC\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xCE\xC4\xBC\xFE\xCE\xB4\xB8\xC4\xB6\xAF\xA1\xA3\r\n";
const std::string kOldSizeUnknown = "\xA3\xAC\xD4\xAD\xB4\xF3\xD0\xA1\xA3\xBA\xCE\xB4\xD6\xAA";
const std::string kNotProcessed = "\xA3\xAC\xB2\xBB\xB4\xA6\xC0\xED\xA1\xA3\r\n";

// What Wine's command interpreter prints for "pause" at end of input.
std::string g_wine_pause;
// The environment that makes Wine Chinese: a zh_CN.UTF-8 locale of our own,
// since Wine reads its arguments in the Linux locale's character set.
std::string g_wine_locale;

std::string WineCommand(const std::string& program) { return g_wine_locale + " '" + kWine + "' '" + program + "'"; }

// The path of a Linux file as a program under Wine sees it: drive Z: is
// the root, and a dropped file's path has backslashes.
std::string WindowsPathOf(const fs::path& path) {
  std::string windows = "Z:" + fs::absolute(path).string();
  std::replace(windows.begin(), windows.end(), '/', '\\');
  return windows;
}

ProgramRun RunWindowsProgram(const std::vector<std::string>& arguments) {
  return RunProgram(WineCommand(REPNG_WINDOWS_PROGRAM), arguments, "</dev/null");
}

// The Linux report as the Windows program prints it: only the pause prompt
// belongs to a different command interpreter.
std::string LinuxReportUnderWine(const std::vector<std::string>& arguments) {
  const std::string output = RunProgram(REPNG_LINUX_PROGRAM, arguments, "</dev/null").output;
  EXPECT_TRUE(output.ends_with(kLinuxPause));
  return output.substr(0, output.size() - kLinuxPause.size()) + g_wine_pause;
}

void CopySample(const std::string& sample, const fs::path& to) {
  fs::copy_file(fs::path(REPNG_SAMPLES_DIR) / sample, to, fs::copy_options::overwrite_existing);
}

// A prefix and a locale of its own for the whole run, made before the first
// test and removed, with Wine's server, after the last.
class WinePrefix : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "repng-wine-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    const fs::path locale = folder_ / "locale" / "zh_CN.UTF-8";
    fs::create_directories(locale.parent_path());
    std::system(("localedef -i zh_CN -f UTF-8 '" + locale.string() + "' 2>/dev/null").c_str());
    ASSERT_TRUE(fs::exists(locale / "LC_CTYPE")) << "localedef could not make zh_CN.UTF-8";
    g_wine_locale = "LOCPATH='" + locale.parent_path().string() + "' LC_ALL=zh_CN.UTF-8";
    setenv("WINEPREFIX", (folder_ / "prefix").c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    const ProgramRun pause = RunProgram(WineCommand("cmd"), {"/c", "pause"}, "</dev/null 2>/dev/null");
    ASSERT_EQ(pause.exit_status, 0);
    g_wine_pause = pause.output;
  }
  void TearDown() override {
    if (folder_.empty()) return;
    const std::string server = (fs::path(kWine).parent_path() / "wineserver").string();
    std::system(("'" + server + "' -k 2>/dev/null").c_str());
    fs::remove_all(folder_);
  }

 private:
  fs::path folder_;
};

const ::testing::Environment* const g_prefix = ::testing::AddGlobalTestEnvironment(new WinePrefix);

// Another Windows process holds the file open with the given sharing
// ("none" or "read") while a marker file beside it exists; true once it
// does.
bool HoldInBackground(const std::string& name, const char* sharing) {
  const std::string marker = name + ".held";
  const std::string command = WineCommand(REPNG_HOLD_FILE_PROGRAM) + " '" + WindowsPathOf(name) + "' '" +
                              WindowsPathOf(marker) + "' " + sharing + " </dev/null >/dev/null 2>&1 &";
  EXPECT_EQ(std::system(command.c_str()), 0);
  for (int waited = 0; waited < 30000 && !fs::exists(marker); waited += 20)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return fs::exists(marker);
}

TEST(WindowsProgramTest, WithoutPathsItExplainsItselfPausesAndExitsWithMinusOne) {
  const ProgramRun run = RunWindowsProgram({});
  EXPECT_EQ(run.output, LinuxReportUnderWine({}));
  EXPECT_EQ(run.exit_status, 255);
}

// With made inputs for the codecs the samples leave out, a Chinese name, a
// folder and a missing path.
TEST(WindowsProgramTest, ABatchGivesTheLinuxReportAndTheLinuxPngBytes) {
  ScratchFolder scratch;
  const std::string chinese = "\xE5\x9B\xBE\xE7\x89\x87.gif";  // 图片.gif in UTF-8
  std::vector<std::string> names = {chinese, "folder", "missing.png"};
  fs::create_directories("linux/folder");
  CopySample("checker.gif", "linux/" + chinese);
  for (const char* name : kSampleNames) {
    CopySample(name, fs::path("linux") / name);
    names.push_back(name);
  }
  for (const auto& [name, recipe] : kMadeInputs) {
    const std::string command = std::string("cd '") + REPNG_SAMPLES_DIR + "' && convert " + recipe + " '" +
                                (fs::current_path() / "linux" / name).string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    names.push_back(name);
  }
  fs::copy("linux", "windows", fs::copy_options::recursive);
  // Dropped files arrive in no particular order.
  std::vector<std::string> windows_paths;
  for (auto name = names.rbegin(); name != names.rend(); ++name) windows_paths.push_back(WindowsPathOf("windows/" + *name));

  fs::current_path("linux");
  const std::string linux_report = LinuxReportUnderWine(names);
  fs::current_path("..");
  const ProgramRun windows_run = RunWindowsProgram(windows_paths);

  EXPECT_EQ(windows_run.output, linux_report);
  EXPECT_EQ(windows_run.exit_status, 0);
  // 图片.gif in GBK, as both print it.
  EXPECT_NE(windows_run.output.find("\r\n\xCD\xBC\xC6\xAC.gif" + kOldSize966), std::string::npos);
  for (const std::string& name : names)
    if (name != "folder") {
      EXPECT_TRUE(ReadFileBytes("windows/" + name) == ReadFileBytes("linux/" + name)) << name;
    }
  // The comparison means something only when files were rewritten.
  EXPECT_TRUE(ReadFileBytes("windows/checker.gif").starts_with("\x89PNG\r\n\x1A\n"));
  // The overwrites leave nothing else behind.
  EXPECT_EQ(std::distance(fs::directory_iterator("windows"), fs::directory_iterator()), std::ssize(names) - 1);
}

TEST(WindowsProgramTest, ReadOnlyHiddenAndHeldFilesAreRefusedAndStayAsTheyWere) {
  ScratchFolder scratch;
  const char* const names[] = {"a-read-only.gif", "b-hidden.gif", "c-held.gif", "d-held-for-reading.gif"};
  for (const char* name : names) CopySample("checker.gif", name);
  for (const auto& [name, attribute] : {std::pair{"a-read-only.gif", "+r"}, std::pair{"b-hidden.gif", "+h"}})
    ASSERT_EQ(RunProgram(WineCommand("cmd"), {"/c", "attrib", attribute, WindowsPathOf(name)}, "</dev/null").exit_status, 0);
  // An editor that lets nobody else in, and a viewer that lets others read;
  // both let go when their markers go, at the latest with the scratch folder.
  ASSERT_TRUE(HoldInBackground(names[2], "none") && HoldInBackground(names[3], "read"));
  const ProgramRun run = RunWindowsProgram({WindowsPathOf(names[3]), WindowsPathOf(names[2]),
                                            WindowsPathOf(names[1]), WindowsPathOf(names[0])});
  for (const char* name : {names[2], names[3]}) fs::remove(std::string(name) + ".held");

  // The write is refused; a file that nobody else may read cannot be read;
  // one that others have open is not measured (its size could change).
  EXPECT_EQ(run.output, names[0] + kOldSize966 + kWriteFailed + names[1] + kOldSize966 + kWriteFailed + names[2] +
                            kNotImage + names[3] + kOldSizeUnknown + kNotProcessed + g_wine_pause);
  const std::string original = ReadFileBytes(REPNG_SAMPLES_DIR "/checker.gif");
  for (const char* name : names) EXPECT_TRUE(ReadFileBytes(name) == original) << name;
  // Nothing of the attempts is left beside them.
  EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 4);
}

TEST(WindowsProgramTest, TheFailureFrameReportsExceptionsAndProcessorFaults) {
  const ProgramRun run = RunProgram(WineCommand(REPNG_FAILURE_FRAME_PROBE), {}, "</dev/null");
  EXPECT_EQ(run.output,
            "nothing: clean\r\n"
            "int thrown: failure\r\n"
            "write through null: failure\r\n"
            "divide by zero: failure\r\n"
            "stack overflow: failure\r\n"
            "stack overflow again: failure\r\n"
            "outer of nested fault: clean\r\n"
            "inner of nested fault: failure\r\n");
  EXPECT_EQ(run.exit_status, 0);
}

}  // namespace
