// The program's entry: usage mode without paths, otherwise one batch inside
// the failure frame. Every run ends with a pause.
#include <iostream>

#include "app/driver/process_path_list.h"
#include "platform/runtime.h"

namespace {

// "用途: \n\t无损压缩PNG，减小PNG文件的大小.\n" (code page 936)
constexpr char kPurposeText[] =
    "\xD3\xC3\xCD\xBE: \n\t\xCE\xDE\xCB\xF0\xD1\xB9\xCB\xF5" "PNG\xA3\xAC\xBC\xF5\xD0\xA1" "PNG\xCE\xC4\xBC\xFE\xB5\xC4\xB4\xF3\xD0\xA1.\n";
// "用法: \n\t选中要压缩的文件,用鼠标拖到EXE上放开.\n\n"
constexpr char kUsageText[] =
    "\xD3\xC3\xB7\xA8: \n\t\xD1\xA1\xD6\xD0\xD2\xAA\xD1\xB9\xCB\xF5\xB5\xC4\xCE\xC4\xBC\xFE,"
    "\xD3\xC3\xCA\xF3\xB1\xEA\xCD\xCF\xB5\xBD" "EXE\xC9\xCF\xB7\xC5\xBF\xAA.\n\n";
// "程序崩溃鸟~~~~ 请联系Veldrin解决!\n"
constexpr char kCrashMessage[] =
    "\xB3\xCC\xD0\xF2\xB1\xC0\xC0\xA3\xC4\xF1~~~~ \xC7\xEB\xC1\xAA\xCF\xB5" "Veldrin\xBD\xE2\xBE\xF6!\n";

constexpr int kUsageExitStatus = -1;
constexpr int kBatchExitStatus = 0;

struct Batch {
  int argument_count;
  WCHAR** arguments;
};

void RunBatch(void* context) {
  const auto* batch = static_cast<const Batch*>(context);
  ProcessPathList(batch->argument_count, batch->arguments);
}

}  // namespace

int wmain(int argc, WCHAR* argv[]) {
  if (argc < 2) {
    std::cout << kPurposeText << kUsageText;
    repng::runtime::PauseConsole();
    return kUsageExitStatus;
  }
  Batch batch{argc, argv};
  if (repng::runtime::RunInFailureFrame(RunBatch, &batch)) std::cout << kCrashMessage;
  repng::runtime::PauseConsole();
  return kBatchExitStatus;
}
