#include <regex>
#include <set>

#include "safety/batch_support.h"

namespace repng::safety {
namespace {

// The program's fixed texts (GBK); none holds a byte that regular
// expressions treat specially.
const std::string kNotImage = "\xA3\xAC\xB2\xBB\xCA\xC7\xCD\xBC\xC6\xAC\xA3\xAC\xCC\xF8\xB9\xFD\xA1\xA3";  // ，不是图片，跳过。
const std::string kOldSize = "\xA3\xAC\xD4\xAD\xB4\xF3\xD0\xA1\xA3\xBA";                               // ，原大小：
const std::string kSize = "(?:\\d+\xD7\xD6\xBD\xDA|\\d+\\.\\d\\dK|\xCE\xB4\xD6\xAA)";  // n字节, n.nnK, 未知
const std::string kNotProcessed = "\xA3\xAC\xB2\xBB\xB4\xA6\xC0\xED\xA1\xA3";                           // ，不处理。
const std::string kWriteFailed =
    "\xA3\xAC\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xCE\xC4\xBC\xFE\xCE\xB4\xB8\xC4\xB6\xAF\xA1\xA3";  // ，写入失败，文件未改动。
const std::string kNewSize = "\xA3\xAC\xD0\xC2\xB4\xF3\xD0\xA1\xA3\xBA";                               // ，新大小：
const std::string kCrash = "\xB3\xCC\xD0\xF2\xB1\xC0\xC0\xA3\xC4\xF1~~~~ \xC7\xEB\xC1\xAA\xCF\xB5Veldrin\xBD\xE2\xBE\xF6!";
const std::string kPause = "\xC7\xEB\xB0\xB4\xC8\xCE\xD2\xE2\xBC\xFC\xBC\xCC\xD0\xF8. . .\r\n";

// 1: the name; 2: present when the file was rewritten.
const std::regex kFileLine("(.+?)(?:" + kNotImage + "|" + kOldSize + kSize + "(?:" + kNotProcessed + "|" +
                           kWriteFailed + "|(" + kNewSize + ")" + kSize + "\xA1\xA3))\r\n");
// The crash message, alone or after the head of a file's line (1: its name).
const std::regex kCrashLine("(?:(.+?)" + kOldSize + kSize + ")?" + kCrash + "\r\n");

}  // namespace

Report ReadReport(const std::string& output, const std::vector<std::string>& name_list) {
  const std::set<std::string> names(name_list.begin(), name_list.end());
  Report report;
  for (size_t start = 0; start < output.size();) {
    const size_t end = std::min(output.find('\n', start), output.size() - 1) + 1;
    const std::string line = output.substr(start, end - start);
    start = end;
    std::smatch match;
    if (std::regex_match(line, match, kFileLine) && names.count(match[1]) != 0) {
      ++report.finished;
      report.rewritten += match[2].matched ? 1 : 0;
    } else if (std::regex_match(line, match, kCrashLine) && (!match[1].matched || names.count(match[1]) != 0)) {
      report.crashed = true;
    } else if (line != kPause) {
      report.foreign_lines.push_back(line);
    }
  }
  return report;
}

}  // namespace repng::safety
