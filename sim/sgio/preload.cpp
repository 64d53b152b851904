// The preloaded SG_IO library. Under Wine a program's SCSI pass-through requests on a drive letter
// arrive as SG_IO ioctls on the file that the letter's device link names; on our device files
// ("tz594k-drive-X") this answers them from the simulated drives of the bay, with the bay file and
// transcript that wnaspi32.dll uses. Every other ioctl, and SG_IO on any other file, goes to the C
// library untouched. Wine loads it into every process it starts, so nothing is read or made
// before the first SG_IO on a device file of ours.
#include <dlfcn.h>
#include <limits.h>
#include <pthread.h>
#include <scsi/sg.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/kept_bay.h"
#include "sim/replay.h"
#include "sim/sgio/sg_io.h"
#include "sim/transcript.h"

namespace {

using IoctlFunction = int (*)(int, unsigned long, ...);

struct State {
  bool bay_ok = false;
  tz::sim::KeptBay bay;
  tz::sim::TranscriptFile transcript;
};

pthread_mutex_t state_lock = PTHREAD_MUTEX_INITIALIZER;
// Made at the first request to a device file of ours and kept for the life of the process, like
// the DLL's manager: the bay is read once, written back whenever a drive's ROM, tray or disc
// changes, and a tray or disc changed in the file by someone else is taken over.
State* state = nullptr;

class Locked {
 public:
  Locked() { pthread_mutex_lock(&state_lock); }
  ~Locked() { pthread_mutex_unlock(&state_lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

// TZ594K_SIM and TZ594K_SIM_TRANSCRIPT are given in Windows form for wnaspi32.dll ("Z:\dir\bay.txt"):
// such a path is read through the prefix's link for its drive letter. A Unix path stays as it is.
std::string unix_path(const std::string& path) {
  const char drive = path.size() >= 2 ? static_cast<char>(path[0] | 0x20) : '\0';
  if (drive < 'a' || drive > 'z' || path[1] != ':') return path;
  std::string prefix = environment("WINEPREFIX");
  if (prefix.empty()) prefix = environment("HOME") + "/.wine";
  const std::string link = prefix + "/dosdevices/" + drive + ":";
  char root[PATH_MAX];
  if (realpath(link.c_str(), root) == nullptr) return std::string();
  std::string unix = root;
  for (std::size_t i = 2; i < path.size(); ++i) {
    const char c = path[i] == '\\' ? '/' : path[i];
    if (c == '/' && !unix.empty() && unix.back() == '/') continue;
    unix += c;
  }
  return unix;
}

// Reads the bay on the first request. Called with the lock held.
State& started_state(const char* device_path) {
  if (state != nullptr) return *state;
  state = new State;
  const std::string transcript = unix_path(environment("TZ594K_SIM_TRANSCRIPT"));
  if (!transcript.empty()) state->transcript.open(transcript.c_str());
  std::string bay_path = unix_path(environment("TZ594K_SIM"));
  if (environment("TZ594K_SIM").empty()) {
    // Without TZ594K_SIM the bay lies beside the device files, as the DLL's lies beside the DLL.
    const std::string device = device_path;
    bay_path = device.substr(0, device.find_last_of('/') + 1) + "tz594k-bay.txt";
  }
  std::string error;
  state->bay_ok = state->bay.open(bay_path.c_str(), error);
  if (!state->bay_ok) std::fprintf(stderr, "tz594k-sgio: bay %s: %s\n", bay_path.c_str(), error.c_str());
  return *state;
}

void sleep_ms(std::uint32_t ms) {
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

std::uint32_t monotonic_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

int fail(int error) {
  errno = error;
  return -1;
}

int answer_sg_io(char letter, const char* device_path, void* argument) {
  if (argument == nullptr) return fail(EFAULT);
  const Locked locked;
  State& s = started_state(device_path);
  if (!s.bay_ok) return fail(ENODEV);
  const std::uint32_t now = monotonic_ms();
  s.bay.follow(now);
  tz::sim::SimDrive* drive = s.bay.bay().at_letter(letter);
  if (drive == nullptr) return fail(ENXIO);
  drive->set_time(now);
  const tz::sim::SgIoResult result = tz::sim::run_sg_io(*drive, *static_cast<sg_io_hdr*>(argument));
  if (result.ran) {
    const char address[] = {letter, ':', '\0'};
    s.transcript.write(address, drive->history(drive->history_size() - 1));
    tz::sim::Replay* replay = drive->replay();
    if (replay != nullptr && replay->take_report()) {
      std::fprintf(stderr, "tz594k-sgio: replay mismatch on the drive at %s, %s\n", address,
                   tz::sim::replay_report(replay->mismatch()).c_str());
    }
    s.bay.save_changes();
  }
  // The call returns when the drive has done the work; the lock keeps the next request queued
  // behind it, as the drive's own queue does.
  if (result.wait_ms != 0) sleep_ms(result.wait_ms);
  return result.error != 0 ? fail(result.error) : 0;
}

IoctlFunction next_ioctl(const char* name) {
  void* next = dlsym(RTLD_NEXT, name);
  if (next == nullptr) next = dlsym(RTLD_NEXT, "ioctl");
  return reinterpret_cast<IoctlFunction>(next);
}

int route(IoctlFunction real, int fd, unsigned long request, void* argument) {
  if (request == SG_IO) {
    char link[32];
    std::snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
    char path[PATH_MAX];
    const ssize_t n = readlink(link, path, sizeof(path) - 1);
    if (n > 0) {
      path[n] = '\0';
      const char letter = tz::sim::device_file_letter(path);
      if (letter != 0) return answer_sg_io(letter, path, argument);
    }
  }
  if (real == nullptr) return fail(ENOSYS);
  return real(fd, request, argument);
}

}  // namespace

extern "C" {

// The C library's ioctl, and the one that 32-bit code built with 64-bit time calls (Wine's
// 32-bit ntdll.so among it).
__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) {
  static const IoctlFunction real = next_ioctl("ioctl");
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  return route(real, fd, request, argument);
}

__attribute__((visibility("default"))) int __ioctl_time64(  // NOLINT(bugprone-reserved-identifier)
    int fd, unsigned long request, ...) {
  static const IoctlFunction real = next_ioctl("__ioctl_time64");
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  return route(real, fd, request, argument);
}

}  // extern "C"
