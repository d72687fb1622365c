// The lines the program prints, recognised in its captured output (code
// page 936 bytes, CRLF line ends).
#pragma once

#include <set>
#include <string>
#include <vector>

namespace repng::safety {

// The lines of `output` that are not one of the program's lines about one
// of `names`: a file's line, the crash message (alone or after the head of
// a file's line), the pause prompt; also any line without its CRLF end.
std::vector<std::string> ForeignLines(const std::string& output, const std::set<std::string>& names);

// How many of the lines end a file's report (done with a file, whatever the
// outcome), and whether the crash message is among them.
struct OutputSummary {
  size_t finished_files = 0;
  size_t rewritten_files = 0;
  bool crashed = false;
};
OutputSummary SummariseOutput(const std::string& output);

}  // namespace repng::safety
