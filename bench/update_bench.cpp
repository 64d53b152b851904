// The cost of one whole update (both phases, read-back and verify on) to a simulated drive that
// takes no time of its own, on the virtual clock: processor time per update, of the whole process
// and of the program's own work (the time the simulated drive spends inside each pass-through call
// taken out), and heap allocations during it, counted by this program's own operator new. The
// Traced variants write the trace (/TRO) of every update to a file in a temporary folder.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "app/context.h"
#include "app/run_flow.h"
#include "app/startup.h"
#include "bench/counting_allocator.h"
#include "core/run_result.h"
#include "drive/discovery.h"
#include "drive/drive_table.h"
#include "drive/targets.h"
#include "drive/trace.h"
#include "image/image_load.h"
#include "image/matching.h"
#include "platform/host/host_os.h"
#include "sim/sim_drive.h"
#include "ui/worker.h"
#include "update/update_ports.h"
#include "update/update_sequence.h"

namespace {

using tz::bench::allocations;

double thread_cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The emulated devices, with the processor time spent inside DeviceIoControl (the simulated drive's
// work) added up.
class TimedDevices final : public tz::platform::Devices {
 public:
  explicit TimedDevices(tz::platform::host::HostDevices& inner) : inner_(inner) {}
  double inside_ms = 0;

  tz::platform::Handle create_file(const char* path, std::uint32_t access, std::uint32_t share, std::uint32_t creation,
                                   std::uint32_t flags) override {
    return inner_.create_file(path, access, share, creation, flags);
  }
  bool close_handle(tz::platform::Handle handle) override { return inner_.close_handle(handle); }
  bool device_io_control(tz::platform::Handle device, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                         std::uint32_t out_size, std::uint32_t& returned) override {
    // The worker's two long commands are not on the measured thread.
    if (std::this_thread::get_id() != measured_)
      return inner_.device_io_control(device, code, in, in_size, out, out_size, returned);
    const double start = thread_cpu_ms();
    const bool ok = inner_.device_io_control(device, code, in, in_size, out, out_size, returned);
    inside_ms += thread_cpu_ms() - start;
    return ok;
  }
  std::uint32_t get_drive_type(const char* root) override { return inner_.get_drive_type(root); }
  std::uint32_t buffer_address(void* buffer) override { return inner_.buffer_address(buffer); }

 private:
  tz::platform::host::HostDevices& inner_;
  std::thread::id measured_ = std::this_thread::get_id();
};

// A started program with one instant drive at D:, chosen for the update as the run flow leaves it;
// the emulated system keeps no log of screens or sleeps, so what allocates is the program's own.
struct Bench {
  tz::platform::host::HostOs host;
  TimedDevices devices{host.devices};
  std::unique_ptr<tz::Context> ctx;
  tz::sim::SimDrive drive;
  bool ready = false;

  static tz::sim::DriveSettings instant_drive() {
    tz::sim::DriveSettings s;
    s.tray_open = true;
    s.rewrite_ms = 0;
    s.verify_ms = 0;
    s.tray_ms = 0;
    return s;
  }

  static tz::platform::Os seam(tz::platform::host::HostOs& host, TimedDevices& devices) {
    tz::platform::Os os = host.os();
    return tz::platform::Os{os.system, os.windows, os.dialogs, os.clock, os.threads, devices, os.aspi, os.files};
  }

  std::string trace_folder;

  ~Bench() {
    if (trace_folder.empty()) return;
    tz::end_trace(ctx->link, 0);
    std::error_code ignored;
    std::filesystem::remove_all(trace_folder, ignored);
  }

  // Every command from here on goes to a trace.
  bool trace() {
    trace_folder = (std::filesystem::temp_directory_path() / "tz594k-bench-XXXXXX").string();
    if (mkdtemp(trace_folder.data()) == nullptr) return false;
    host.files.set_current_folder(trace_folder);
    return tz::begin_trace(ctx->link, {".\\", "/AU /TRO", "1.01"});
  }

  explicit Bench(std::uint8_t transport)
      : ctx(std::make_unique<tz::Context>(seam(host, devices))), drive(instant_drive()) {
    tz::Context& c = *ctx;
    host.dialogs.record_events = false;
    host.clock.keep_sleeps(false);
    c.app.texts.decode();
    tz::build_model_tables(c.app.models);
    c.app.language = tz::language_english;
    c.drive.transport = transport;
    if (transport == tz::transport_pass_through) {
      host.devices.attach('D', drive);
    } else {
      host.aspi.attach(0, 1, drive);
    }
    if (tz::load_firmware_image(c.image, c.app.texts) != 0 || tz::scan_drives(c.link) != 0 ||
        tz::select_update_targets(c.link) != 7)
      return;
    c.drive.current_drive = tz::find_drive_by_status(c.drive, tz::drive_status_target, 0);
    c.drive.drive_table[c.drive.current_drive].status = tz::drive_status_chosen_target;
    tz::apply_method_flags(c);
    ready = true;
  }

  // The update as the progress screen runs it, without the screen (the emulated dialog manager
  // allocates for every screen it opens).
  bool update() {
    tz::LinkedDrive drive(ctx->link);
    tz::ProgressView view(ctx->ui, ctx->os.system);
    return tz::run_update({drive, view, ctx->image, ctx->app.build, ctx->app.result}) == 0 &&
           tz::result_code(ctx->app.result) == 0;
  }
};

void full_update(benchmark::State& state, std::uint8_t transport, bool traced = false) {
  Bench b(transport);
  if (traced && !b.trace()) {
    state.SkipWithError("no trace file");
    return;
  }
  if (!b.ready || !b.update()) {  // the first update also lets the drive allocate its download area
    state.SkipWithError("the simulated drive could not be updated");
    return;
  }
  const std::uint32_t commands_before = b.drive.count(tz::sim::CommandKind::any);
  std::uint64_t allocated = 0;
  std::int64_t updates = 0;
  b.devices.inside_ms = 0;
  const double cpu_start = thread_cpu_ms();
  for (auto _ : state) {
    const std::uint64_t before = allocations();
    if (!b.update()) {
      state.SkipWithError("an update failed");
      return;
    }
    allocated += allocations() - before;
    ++updates;
  }
  const double commands =
      static_cast<double>(b.drive.count(tz::sim::CommandKind::any) - commands_before) / static_cast<double>(updates);
  state.counters["commands"] = commands;
  state.counters["allocs"] = static_cast<double>(allocated) / static_cast<double>(updates);
  if (transport == tz::transport_pass_through) {
    // Everything runs on this thread but the two long commands, which the worker sends.
    const double own = thread_cpu_ms() - cpu_start - b.devices.inside_ms;
    state.counters["own_ms"] = own / static_cast<double>(updates);
    state.counters["drive_ms"] = b.devices.inside_ms / static_cast<double>(updates);
  }
}

void BM_FullUpdatePassThrough(benchmark::State& state) { full_update(state, tz::transport_pass_through); }
void BM_FullUpdateAspi(benchmark::State& state) { full_update(state, tz::transport_aspi); }
void BM_FullUpdatePassThroughTraced(benchmark::State& state) { full_update(state, tz::transport_pass_through, true); }
void BM_FullUpdateAspiTraced(benchmark::State& state) { full_update(state, tz::transport_aspi, true); }
BENCHMARK(BM_FullUpdatePassThrough)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_FullUpdatePassThroughTraced)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_FullUpdateAspi)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_FullUpdateAspiTraced)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// What one long command on the worker costs besides the command: the thread start is where the
// update's allocations come from (the runtime library's thread start allocates on Windows too).
void BM_WorkerStart(benchmark::State& state) {
  Bench b(tz::transport_pass_through);
  std::uint64_t allocated = 0;
  std::int64_t runs = 0;
  for (auto _ : state) {
    const std::uint64_t before = allocations();
    tz::run_in_worker(
        b.ctx->ui, [](void*) -> std::int32_t { return 1; }, nullptr);
    allocated += allocations() - before;
    ++runs;
  }
  state.counters["allocs"] = static_cast<double>(allocated) / static_cast<double>(runs);
}
BENCHMARK(BM_WorkerStart)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->Iterations(500);

}  // namespace

BENCHMARK_MAIN();
