#include "safety/program_lines.h"

#include <cctype>
#include <string_view>

namespace repng::safety {
namespace {

// The program's fixed texts (GBK).
constexpr std::string_view kComma = "\xA3\xAC";                                        // ，
constexpr std::string_view kNotImage = "\xA3\xAC\xB2\xBB\xCA\xC7\xCD\xBC\xC6\xAC\xA3\xAC\xCC\xF8\xB9\xFD\xA1\xA3";
constexpr std::string_view kOldSize = "\xA3\xAC\xD4\xAD\xB4\xF3\xD0\xA1\xA3\xBA";      // ，原大小：
constexpr std::string_view kUnknown = "\xCE\xB4\xD6\xAA";                              // 未知
constexpr std::string_view kNewSize = "\xA3\xAC\xD0\xC2\xB4\xF3\xD0\xA1\xA3\xBA";      // ，新大小：
constexpr std::string_view kFullStop = "\xA1\xA3";                                     // 。
constexpr std::string_view kNotProcessed = "\xA3\xAC\xB2\xBB\xB4\xA6\xC0\xED\xA1\xA3";  // ，不处理。
constexpr std::string_view kWriteFailed =
    "\xA3\xAC\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xCE\xC4\xBC\xFE\xCE\xB4\xB8\xC4\xB6\xAF\xA1\xA3";
constexpr std::string_view kBytes = "\xD7\xD6\xBD\xDA";  // 字节
constexpr std::string_view kCrash =
    "\xB3\xCC\xD0\xF2\xB1\xC0\xC0\xA3\xC4\xF1~~~~ \xC7\xEB\xC1\xAA\xCF\xB5Veldrin\xBD\xE2\xBE\xF6!";
constexpr std::string_view kPause = "\xC7\xEB\xB0\xB4\xC8\xCE\xD2\xE2\xBC\xFC\xBC\xCC\xD0\xF8. . .";

bool ConsumePrefix(std::string_view& text, std::string_view prefix) {
  if (text.substr(0, prefix.size()) != prefix) return false;
  text.remove_prefix(prefix.size());
  return true;
}

bool ConsumeDigits(std::string_view& text, size_t exact = 0) {
  size_t count = 0;
  while (count < text.size() && std::isdigit(static_cast<unsigned char>(text[count]))) ++count;
  if (count == 0 || (exact != 0 && count != exact)) return false;
  text.remove_prefix(count);
  return true;
}

// "n字节" or "n.nnK".
bool ConsumeSize(std::string_view& text) {
  if (!ConsumeDigits(text)) return false;
  if (ConsumePrefix(text, kBytes)) return true;
  return ConsumePrefix(text, ".") && ConsumeDigits(text, 2) && ConsumePrefix(text, "K");
}

bool ConsumeName(std::string_view& text, const std::set<std::string>& names) {
  const size_t comma = text.find(kComma);
  if (comma == std::string_view::npos || names.count(std::string(text.substr(0, comma))) == 0) return false;
  text.remove_prefix(comma);
  return true;
}

// The start of a file's line, up to its old size.
bool ConsumeHead(std::string_view& text, const std::set<std::string>& names) {
  if (!ConsumeName(text, names) || !ConsumePrefix(text, kOldSize)) return false;
  return ConsumePrefix(text, kUnknown) || ConsumeSize(text);
}

bool IsFileLine(std::string_view line, const std::set<std::string>& names) {
  std::string_view rest = line;
  if (ConsumeName(rest, names) && rest == kNotImage) return true;
  rest = line;
  if (!ConsumeHead(rest, names)) return false;
  if (rest == kNotProcessed || rest == kWriteFailed) return true;
  return ConsumePrefix(rest, kNewSize) && ConsumeSize(rest) && rest == kFullStop;
}

bool IsProgramLine(std::string_view line, const std::set<std::string>& names) {
  if (line == kPause || IsFileLine(line, names)) return true;
  if (line.size() < kCrash.size() || line.substr(line.size() - kCrash.size()) != kCrash) return false;
  std::string_view head = line.substr(0, line.size() - kCrash.size());
  return head.empty() || (ConsumeHead(head, names) && head.empty());
}

std::vector<std::string_view> LinesOf(std::string_view output) {
  std::vector<std::string_view> lines;
  while (!output.empty()) {
    const size_t end = output.find('\n');
    lines.push_back(output.substr(0, end == std::string_view::npos ? output.size() : end + 1));
    output.remove_prefix(lines.back().size());
  }
  return lines;
}

}  // namespace

std::vector<std::string> ForeignLines(const std::string& output, const std::set<std::string>& names) {
  std::vector<std::string> foreign;
  for (std::string_view line : LinesOf(output)) {
    const bool ended = line.size() >= 2 && line.substr(line.size() - 2) == "\r\n";
    if (!ended || !IsProgramLine(line.substr(0, line.size() - 2), names)) foreign.emplace_back(line);
  }
  return foreign;
}

OutputSummary SummariseOutput(const std::string& output) {
  OutputSummary summary;
  for (std::string_view line : LinesOf(output)) {
    if (line.find(kCrash) != std::string_view::npos) {
      summary.crashed = true;
      continue;
    }
    if (line.find(kNotImage) != std::string_view::npos || line.find(kNotProcessed) != std::string_view::npos ||
        line.find(kWriteFailed) != std::string_view::npos)
      ++summary.finished_files;
    if (line.find(kNewSize) != std::string_view::npos) {
      ++summary.finished_files;
      ++summary.rewritten_files;
    }
  }
  return summary;
}

}  // namespace repng::safety
