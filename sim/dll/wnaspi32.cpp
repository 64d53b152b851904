// wnaspi32.dll over simulated drives: the two ASPI for Win32 entry points. The drives come from
// the bay file that TZ594K_SIM names, or from tz594k-bay.txt beside this DLL (created with one
// drive when missing). Requests are served one at a time in order on a worker thread that takes
// the drive's time, writes the outcome into the SRB and then signals its event (or calls its
// posting routine), as ASPI managers do. A request that never ends holds up those behind it until
// SC_ABORT_SRB ends it: an aborted request ends at once with SS_ABORTED and its block and buffer
// are never written again. What a drive keeps (its ROM, its tray) is written back to the bay file
// when it changes, and a tray or disc changed in the file by someone else is taken over.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/aspi.h"
#include "sim/aspi_manager.h"
#include "sim/atomic_file.h"
#include "sim/bay.h"
#include "sim/kept_bay.h"
#include "sim/replay.h"
#include "sim/transcript.h"

namespace {

namespace srb = tz::platform::srb;
using tz::sim::AspiRequest;

constexpr std::uint8_t ss_failed_init = 0xE4;
// The program reads SRB_Status right after SendASPI32Command returns and takes anything but
// SS_PENDING for a request that ended inside the call, whose sense it never reads. So the worker
// takes a request only once the submitting thread has left SendASPI32Command's lock, and writes
// its outcome no sooner than this long after: a spin, not a sleep, because a sleep lasts a whole
// scheduler tick and an update sends thousands of requests.
constexpr std::int64_t status_hold_us = 200;

struct Manager {
  CRITICAL_SECTION lock;
  HMODULE module = nullptr;
  bool started = false;
  bool bay_ok = false;
  // Under Wine a look at the bay file goes through the whole file system layer: not on every command.
  tz::sim::KeptBay bay{100};
  tz::sim::AspiTargets targets;
  tz::sim::TranscriptFile transcript;

  tz::sim::AspiQueue queue;
  HANDLE queued = nullptr;           // semaphore: one count per queued request
  HANDLE running_aborted = nullptr;  // auto-reset event: the running request was aborted
  HANDLE worker = nullptr;
  bool breach_reported = false;
  std::int64_t hold_ticks = 0;  // status_hold_us in performance-counter ticks
  std::int64_t ticks_per_second = 1;
};

Manager manager;

class Locked {
 public:
  Locked() { EnterCriticalSection(&manager.lock); }
  ~Locked() { LeaveCriticalSection(&manager.lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

std::string environment(const char* name) {
  char value[MAX_PATH * 2];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof(value));
  if (n == 0 || n >= sizeof(value)) return {};
  return std::string(value, n);
}

std::string default_bay_path() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(manager.module, path, sizeof(path));
  std::string folder(path, n < sizeof(path) ? n : 0);
  const std::size_t slash = folder.find_last_of("\\/");
  folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
  return folder + "tz594k-bay.txt";
}

// Never over a bay that is there, even one that another process has just made.
void create_default_bay(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  tz::sim::write_file_atomically(path.c_str(), tz::sim::default_bay_text, false);
}

// Reads the bay on the first call into the DLL; the drives' trays follow the file from then on.
// Called with the lock held.
void start() {
  if (manager.started) return;
  manager.started = true;
  const std::string transcript = environment("TZ594K_SIM_TRANSCRIPT");
  if (!transcript.empty()) manager.transcript.open(transcript.c_str());
  std::string bay_path = environment("TZ594K_SIM");
  if (bay_path.empty()) {
    bay_path = default_bay_path();
    create_default_bay(bay_path);
  }
  std::string error;
  manager.bay_ok = manager.bay.open(bay_path.c_str(), error);
  if (!manager.bay_ok) {
    const std::string message = "wnaspi32: bay " + bay_path + ": " + error + "\n";
    OutputDebugStringA(message.c_str());
    std::fputs(message.c_str(), stderr);
    return;
  }
  for (tz::sim::BayDrive& entry : manager.bay.bay().drives()) {
    if (entry.on_aspi) manager.targets.drives[entry.ha][entry.target] = entry.drive.get();
  }
}

std::int64_t counter_now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// The drive's clock in milliseconds. Not GetTickCount: Wine serves it from a shared page that its
// server refreshes only now and then, so a drive settling after the boot-mode command could see
// its time stand still.
std::uint32_t drive_clock_ms() { return static_cast<std::uint32_t>(counter_now() * 1000 / manager.ticks_per_second); }

void hold_status_from(std::int64_t taken_at) {
  while (counter_now() - taken_at < manager.hold_ticks) SwitchToThread();
}

std::uint8_t* resolve_address(void*, std::uint32_t address, std::uint32_t) {
  return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(address));
}

void call_posting_routine(const tz::sim::AspiQueue::Job& job) {
  if (!job.request.posting || job.request.post == 0) return;
  reinterpret_cast<void(__cdecl*)(void*)>(static_cast<std::uintptr_t>(job.request.post))(job.block);
}

void signal_event(const AspiRequest& request) {
  if (request.event_notify) SetEvent(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(request.post)));
}

// The first command of a run that a replayed drive did not expect, once.
void report_replay_mismatch(const char* address, tz::sim::SimDrive& drive) {
  tz::sim::Replay* replay = drive.replay();
  if (replay == nullptr || !replay->take_report()) return;
  const std::string message = std::string("wnaspi32: replay mismatch on the drive at ") + address + ", " +
                              tz::sim::replay_report(replay->mismatch()) + "\n";
  OutputDebugStringA(message.c_str());
  std::fputs(message.c_str(), stderr);
}

DWORD WINAPI worker_main(LPVOID) {
  for (;;) {
    WaitForSingleObject(manager.queued, INFINITE);
    tz::sim::AspiQueue::Job job;
    tz::sim::Outcome outcome;
    std::int64_t taken_at = 0;
    {
      // The drive works under the lock, so that an abort never finds it half way through the
      // program's buffer.
      const Locked locked;
      if (!manager.queue.pop(job)) continue;
      // An abort signalled before this request ran was meant for an earlier one.
      ResetEvent(manager.running_aborted);
      taken_at = counter_now();
      const AspiRequest& request = job.request;
      tz::sim::SimDrive& drive = *request.drive;
      const std::uint32_t now = drive_clock_ms();
      manager.bay.follow(now);
      drive.set_time(now);
      outcome = drive.execute(request.cdb, request.cdb_length, request.direction, request.data, request.length);
      const char address[] = {static_cast<char>('0' + request.ha), ':', static_cast<char>('0' + request.target), '\0'};
      manager.transcript.write(address, drive.history(drive.history_size() - 1));
      report_replay_mismatch(address, drive);
      manager.bay.save_changes();
    }
    // The drive's time, cut short by an abort; a drive that hangs answers nothing but an abort.
    const bool hung = outcome.delivery == tz::sim::Outcome::Delivery::hung;
    bool aborted = false;
    if (hung || outcome.busy_ms != 0) {
      aborted = WaitForSingleObject(manager.running_aborted, hung ? INFINITE : outcome.busy_ms) == WAIT_OBJECT_0;
    }
    if (!aborted) hold_status_from(taken_at);
    bool delivered = false;
    {
      // Under the lock, so that an abort cannot come between the check and the write.
      const Locked locked;
      delivered = manager.queue.finish();
      if (delivered) {
        tz::sim::complete_aspi_request(job.block, outcome);
        signal_event(job.request);
      }
    }
    if (delivered) call_posting_routine(job);
  }
}

}  // namespace

extern "C" {

DWORD __cdecl GetASPI32SupportInfo() {
  const Locked locked;
  start();
  if (!manager.bay_ok) return static_cast<DWORD>(ss_failed_init) << 8;
  return tz::sim::aspi_support_info();
}

DWORD __cdecl SendASPI32Command(void* request_block) {
  if (request_block == nullptr) return srb::ss_invalid_srb;
  auto* block = static_cast<std::uint8_t*>(request_block);
  if (block[srb::cmd] == srb::sc_abort_srb) {
    tz::sim::AbortResult result;
    {
      const Locked locked;
      start();
      result = tz::sim::abort_aspi_request(block, manager.queue, resolve_address, nullptr);
      if (result.what != tz::sim::AspiQueue::Abort::none) signal_event(result.job.request);
      if (result.what == tz::sim::AspiQueue::Abort::running) SetEvent(manager.running_aborted);
    }
    if (result.what != tz::sim::AspiQueue::Abort::none) call_posting_routine(result.job);
    return result.status;
  }
  const Locked locked;
  start();
  if (manager.queue.owns(block) && !manager.breach_reported) {
    // Served in turn all the same, as a real manager would: the earlier request's end lands in
    // the block when it comes.
    manager.breach_reported = true;
    const char* message = "wnaspi32: a request block was handed in again while its request was pending\n";
    OutputDebugStringA(message);
    std::fputs(message, stderr);
  }
  AspiRequest request;
  const std::uint8_t status = tz::sim::accept_aspi_request(block, manager.targets, resolve_address, nullptr, request);
  if (status != srb::ss_pending) return status;
  if (manager.queued == nullptr) {
    manager.queued = CreateSemaphoreA(nullptr, 0, tz::sim::AspiQueue::capacity, nullptr);
    manager.running_aborted = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  }
  if (manager.worker == nullptr && manager.queued != nullptr && manager.running_aborted != nullptr) {
    manager.worker = CreateThread(nullptr, 0, worker_main, nullptr, 0, nullptr);
  }
  if (manager.worker == nullptr || !manager.queue.push({block, request, 0})) {
    block[srb::status] = srb::ss_aspi_is_busy;
    return srb::ss_aspi_is_busy;
  }
  ReleaseSemaphore(manager.queued, 1, nullptr);
  return srb::ss_pending;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    manager.module = instance;
    InitializeCriticalSection(&manager.lock);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    manager.hold_ticks = frequency.QuadPart * status_hold_us / 1000000;
    manager.ticks_per_second = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

}  // extern "C"
