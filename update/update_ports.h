#pragma once
// The update's two interfaces as the program answers them: the drive floor's commands for the
// chosen drive, and the progress screen's lines through the screen mechanics.
#include <cstdarg>
#include <cstdint>

#include "drive/drive_link.h"
#include "platform/system.h"
#include "ui/ui_state.h"
#include "update/update_sequence.h"

namespace tz {

// The drive at current_drive, over the transport chosen at start-up.
class LinkedDrive final : public UpdateDrive {
 public:
  explicit LinkedDrive(DriveLink& link) : link_(link) {}

  const DriveRecord* chosen() override;
  int open() override;
  void close() override;
  int eject_and_check() override;
  int prepare_download(std::uint8_t mode) override;
  int test_unit_ready() override;
  int write_piece(std::uint32_t offset, const std::uint8_t* header, const std::uint8_t* data,
                  std::uint32_t length) override;
  const std::uint8_t* read_piece(std::uint32_t offset, std::uint32_t length) override;
  int execute(std::uint8_t mode) override;
  bool lost() override;

 private:
  DriveLink& link_;
};

// The progress screen whose window the screen mechanics hold, and the system's power source.
class ProgressView final : public UpdateView {
 public:
  ProgressView(Ui& ui, platform::System& system) : ui_(ui), system_(system) {}

  std::uint8_t language() const override;
  const char* text(Text id) const override;
  void set_step_text_v(int line, const char* format, std::va_list arguments) override;
  void set_progress(int line, std::int32_t percent) override;
  void service_messages() override;
  void wait_servicing(std::uint32_t ms) override;
  int run_in_worker(WorkerRoutine routine, void* work) override;
  bool mains_power() override;

 private:
  Ui& ui_;
  platform::System& system_;
};

}  // namespace tz
