#include "platform/host/host_devices.h"

#include <cstring>

namespace tz::platform::host {

namespace {

constexpr Handle first_device_handle = 0x2000;

int letter_index(char letter) {
  const char upper = static_cast<char>(letter & ~0x20);
  return upper >= 'A' && upper <= 'Z' ? upper - 'A' : -1;
}

std::uint8_t* resolve_slot(void* context, std::uint32_t value, std::uint32_t) {
  return static_cast<const BufferSlot*>(context)->resolve(value);
}

}  // namespace

std::uint32_t BufferSlot::value_for(void* buffer) {
  if (buffer == nullptr) return 0;
  buffer_ = buffer;
  if (++value_ == 0) value_ = 1;
  return value_;
}

std::uint8_t* BufferSlot::resolve(std::uint32_t value) const {
  if (value == 0 || value != value_) return nullptr;
  return static_cast<std::uint8_t*>(buffer_);
}

void HostDevices::attach(char letter, sim::SimDrive& drive) {
  const int index = letter_index(letter);
  if (index >= 0) letters_[static_cast<std::size_t>(index)].drive = &drive;
}

void HostDevices::attach_bay(sim::Bay& bay) {
  for (sim::BayDrive& entry : bay.drives()) {
    if (entry.letter != 0) attach(entry.letter, *entry.drive);
  }
}

void HostDevices::detach_all() {
  for (Letter& letter : letters_) letter.drive = nullptr;
}

void HostDevices::set_drive_type(char letter, std::uint32_t type) {
  const int index = letter_index(letter);
  if (index < 0) return;
  letters_[static_cast<std::size_t>(index)].drive_type = type;
  letters_[static_cast<std::size_t>(index)].type_set = true;
}

void HostDevices::refuse_open(char letter, bool refuse) {
  const int index = letter_index(letter);
  if (index >= 0) letters_[static_cast<std::size_t>(index)].refuse_open = refuse;
}

void HostDevices::refuse_unlock(char letter, bool refuse) {
  const int index = letter_index(letter);
  if (index >= 0) letters_[static_cast<std::size_t>(index)].refuse_unlock = refuse;
}

std::uint32_t HostDevices::open_handle_count() const {
  std::uint32_t count = 0;
  for (const OpenDevice& device : open_) count += device.used ? 1 : 0;
  return count;
}

bool HostDevices::volume_locked(char letter) const {
  const int index = letter_index(letter);
  return index >= 0 && letters_[static_cast<std::size_t>(index)].locked_by >= 0;
}

Handle HostDevices::create_file(const char* path, std::uint32_t access, std::uint32_t share_mode,
                                std::uint32_t creation, std::uint32_t) {
  // Only a volume's device name opens: "\\.\X:".
  if (path == nullptr || std::strlen(path) != 6 || std::strncmp(path, "\\\\.\\", 4) != 0 || path[5] != ':') {
    return invalid_handle_value;
  }
  const int index = letter_index(path[4]);
  if (index < 0 || creation != open_existing || (access & (generic_read | generic_write)) == 0) {
    return invalid_handle_value;
  }
  // The system keeps every volume open for reading and writing itself: an open that does not
  // share both is a sharing violation.
  const std::uint32_t shared = file_share_read | file_share_write;
  if ((share_mode & shared) != shared) return invalid_handle_value;
  const Letter& letter = letters_[static_cast<std::size_t>(index)];
  if (letter.drive == nullptr || letter.refuse_open) return invalid_handle_value;
  for (std::size_t i = 0; i < max_open; ++i) {
    if (open_[i].used) continue;
    open_[i] = OpenDevice{true, index, (access & (generic_read | generic_write)) == (generic_read | generic_write)};
    return first_device_handle + i * 4;
  }
  return invalid_handle_value;
}

int HostDevices::handle_index(Handle handle) const {
  if (handle < first_device_handle || (handle - first_device_handle) % 4 != 0) return -1;
  const Handle index = (handle - first_device_handle) / 4;
  if (index >= max_open || !open_[index].used) return -1;
  return static_cast<int>(index);
}

bool HostDevices::close_handle(Handle handle) {
  const int index = handle_index(handle);
  if (index < 0) return false;
  // Closing the handle ends the volume lock it holds.
  Letter& letter = letters_[static_cast<std::size_t>(open_[static_cast<std::size_t>(index)].letter)];
  if (letter.locked_by == index) letter.locked_by = -1;
  open_[static_cast<std::size_t>(index)] = OpenDevice{};
  return true;
}

bool HostDevices::device_io_control(Handle device, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                                    std::uint32_t out_size, std::uint32_t& returned) {
  returned = 0;
  last_ioctl_code = code;
  last_ioctl_in_size = in_size;
  last_ioctl_out_size = out_size;
  const int index = handle_index(device);
  if (index < 0) return false;
  const int letter_at = open_[static_cast<std::size_t>(index)].letter;
  Letter& letter = letters_[static_cast<std::size_t>(letter_at)];
  if (letter.drive == nullptr) return false;
  switch (code) {
    case ioctl_scsi_pass_through:
    case ioctl_scsi_pass_through_direct:
      // Both codes require read and write access (ERROR_ACCESS_DENIED otherwise): nothing reaches
      // the drive through a handle opened for reading only.
      if (!open_[static_cast<std::size_t>(index)].read_write) return false;
      return pass_through(letter_at, code == ioctl_scsi_pass_through_direct, in, in_size, out, out_size, returned);
    case fsctl_lock_volume:
      if (letter.drive->settings().lock_refused || (letter.locked_by >= 0 && letter.locked_by != index)) return false;
      letter.locked_by = index;
      return true;
    case fsctl_unlock_volume:
      if (letter.locked_by != index || letter.refuse_unlock) return false;
      letter.locked_by = -1;
      return true;
    default:
      return false;
  }
}

bool HostDevices::pass_through(int letter_at, bool direct, void* in, std::uint32_t in_size, void* out,
                               std::uint32_t out_size, std::uint32_t& returned) {
  sim::SimDrive& drive = *letters_[static_cast<std::size_t>(letter_at)].drive;
  if (in != nullptr && in_size >= last_request.size()) std::memcpy(last_request.data(), in, last_request.size());
  sim::PassThroughCall call;
  call.direct = direct;
  call.in = static_cast<const std::uint8_t*>(in);
  call.in_size = in_size;
  call.out = static_cast<std::uint8_t*>(out);
  call.out_size = out_size;
  sim::PassThroughResult result;
  drive.set_time(static_cast<std::uint32_t>(clock_.now_ms()));
  const bool ok = sim::run_pass_through(drive, call, resolve_slot, &slot_, result);
  if (!result.ran) return false;
  if (transcript != nullptr) {
    const char address[] = {static_cast<char>('A' + letter_at), ':', '\0'};
    transcript->write(address, drive.history(drive.history_size() - 1));
  }
  // The call returns when the drive has finished, or when the request's own time-out expires.
  if (result.outcome.delivery == sim::Outcome::Delivery::hung) {
    clock_.advance(static_cast<std::int32_t>(result.timeout_seconds * 1000));
  } else {
    clock_.advance(static_cast<std::int32_t>(result.outcome.busy_ms));
  }
  if (ok) returned = result.returned;
  return ok;
}

std::uint32_t HostDevices::get_drive_type(const char* root) {
  if (root == nullptr || root[0] == '\0' || root[1] != ':') return drive_no_root_dir;
  const int index = letter_index(root[0]);
  if (index < 0) return drive_no_root_dir;
  const Letter& letter = letters_[static_cast<std::size_t>(index)];
  if (letter.type_set) return letter.drive_type;
  if (letter.drive == nullptr) return drive_no_root_dir;
  return letter.drive->settings().removable ? drive_removable : drive_cdrom;
}

}  // namespace tz::platform::host
