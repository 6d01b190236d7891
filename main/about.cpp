#include "main/about.h"

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "build_info.h"
#include "report/exit_status.h"
#include "report/fd_write.h"

namespace lorvane {
namespace {

// Raw string: the layout below is the layout printed.
constexpr std::string_view kUsage = R"(Usage: lorvane-tap [--exclude-pid=PID]...
         the system audio, less PID's processes, as 16 kHz mono s16 PCM on stdout
         until stdin closes; status lines on stderr
       lorvane-tap --windows
         the visible windows as one JSON line
       lorvane-tap --ocr [--exclude-pid=PID]... [--save=PATH]
         the text of the front-most window of another process as one JSON line
       lorvane-tap --listen-access [--request]
         "granted" or "denied": whether this process may read global input
       lorvane-tap --version | --help
Other arguments are ignored. See lorvane-tap(1).
)";

}  // namespace

About aboutRequest(ArgList args) {
  if (args.size() != 2 || args[1] == nullptr) return About::None;
  const std::string_view arg = args[1];
  if (arg == "--version") return About::Version;
  if (arg == "--help") return About::Help;
  return About::None;
}

void answerAbout(ArgList args) {
  const About about = aboutRequest(args);
  if (about == About::None) return;
  const std::string text =
      about == About::Version ? std::string("lorvane-tap ") + kVersion + "\n" : std::string(kUsage);
  writeAll(STDOUT_FILENO, text.data(), text.size());
  std::exit(kExitOk);
}

}  // namespace lorvane
