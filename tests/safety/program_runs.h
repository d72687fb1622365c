// The program run on a batch folder, with its output kept outside it.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "safety/child_process.h"
#include "safety/safety_fixture.h"

namespace repng::safety {

struct BatchRun {
  int exit_status = -1;
  std::string output;
  std::string errors;
};

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Output files live in `logs`, which is not the batch folder.
inline ChildSpec BatchSpec(const std::string& program, const std::string& folder,
                           const std::vector<std::string>& names, const BatchFolder& logs,
                           const std::string& log_name = "run") {
  ChildSpec spec;
  spec.program = program;
  spec.arguments = names;
  spec.working_folder = folder;
  spec.stdout_path = logs.PathOf(log_name + ".out");
  spec.stderr_path = logs.PathOf(log_name + ".err");
  return spec;
}

inline BatchRun RunToEnd(const ChildSpec& spec) {
  BatchRun run;
  run.exit_status = WaitForChild(StartChild(spec));
  run.output = ReadText(spec.stdout_path);
  run.errors = ReadText(spec.stderr_path);
  return run;
}

}  // namespace repng::safety
