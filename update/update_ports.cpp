#include "update/update_ports.h"

#include "drive/commands.h"
#include "drive/drive_table.h"
#include "drive/preparation.h"
#include "drive/transport.h"
#include "image/layout.h"
#include "ui/power.h"
#include "ui/progress.h"
#include "ui/waits.h"
#include "ui/worker.h"

namespace tz {

const DriveRecord* LinkedDrive::chosen() { return current_drive_record(link_.state); }

int LinkedDrive::open() {
  if (link_.state.transport != transport_pass_through) return 0;
  const DriveRecord* drive = current_drive_record(link_.state);
  if (drive == nullptr) return -1;
  return drive->device_handle == platform::invalid_handle_value ? spt_open(link_) : 0;
}

void LinkedDrive::close() {
  if (link_.state.transport == transport_pass_through) spt_close(link_);
}

int LinkedDrive::eject_and_check() { return tz::eject_and_check(link_, link_.ui.state.progress_window); }

int LinkedDrive::prepare_download(std::uint8_t mode) { return cmd_prepare_download(link_, mode); }

int LinkedDrive::test_unit_ready() { return cmd_test_unit_ready(link_, 0); }

int LinkedDrive::write_piece(std::uint32_t offset, const std::uint8_t* header, const std::uint8_t* data,
                             std::uint32_t length) {
  return cmd_write_download(link_, header_bytes, length, offset, header, data);
}

const std::uint8_t* LinkedDrive::read_piece(std::uint32_t offset, std::uint32_t length) {
  // The data land in the data buffer itself, behind nothing: the header read back is dropped.
  std::uint8_t* returned = link_.state.scsi_data_buffer;
  return cmd_read_download(link_, header_bytes, length, offset, nullptr, returned) == 0 ? returned : nullptr;
}

int LinkedDrive::execute(std::uint8_t mode) { return cmd_execute(link_, mode); }

bool LinkedDrive::lost() { return link_.state.transport != transport_pass_through && !aspi_usable(link_); }

std::uint8_t ProgressView::language() const { return ui_.language; }

const char* ProgressView::text(Text id) const { return ui_.text(id); }

void ProgressView::set_step_text_v(int line, const char* format, std::va_list arguments) {
  tz::set_step_text_v(ui_, line, format, arguments);
}

void ProgressView::set_progress(int line, std::int32_t percent) { tz::set_progress(ui_, line, percent); }

void ProgressView::service_messages() { tz::service_messages(ui_, ui_.state.progress_window); }

void ProgressView::wait_servicing(std::uint32_t ms) { tz::wait_servicing(ui_, ms, ui_.state.progress_window); }

int ProgressView::run_in_worker(WorkerRoutine routine, void* work) { return tz::run_in_worker(ui_, routine, work); }

bool ProgressView::mains_power() { return check_mains_power(ui_, system_); }

}  // namespace tz
