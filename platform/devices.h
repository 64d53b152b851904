#pragma once
// CreateFileA, CloseHandle, DeviceIoControl and GetDriveTypeA on the drives' devices, and the
// SCSI pass-through request as a 32-bit process lays it out for DeviceIoControl.
#include <cstdint>

#include "platform/types.h"

namespace tz::platform {

inline constexpr std::uint32_t generic_read = 0x80000000;
inline constexpr std::uint32_t generic_write = 0x40000000;
inline constexpr std::uint32_t file_share_read = 0x00000001;
inline constexpr std::uint32_t file_share_write = 0x00000002;
inline constexpr std::uint32_t open_existing = 3;

inline constexpr std::uint32_t ioctl_scsi_pass_through = 0x0004D004;
inline constexpr std::uint32_t ioctl_scsi_pass_through_direct = 0x0004D014;
inline constexpr std::uint32_t fsctl_lock_volume = 0x00090018;
inline constexpr std::uint32_t fsctl_unlock_volume = 0x0009001C;

// GetDriveTypeA results.
inline constexpr std::uint32_t drive_unknown = 0;
inline constexpr std::uint32_t drive_no_root_dir = 1;
inline constexpr std::uint32_t drive_removable = 2;
inline constexpr std::uint32_t drive_fixed = 3;
inline constexpr std::uint32_t drive_remote = 4;
inline constexpr std::uint32_t drive_cdrom = 5;

// SCSI_PASS_THROUGH and SCSI_PASS_THROUGH_DIRECT of a 32-bit process (ntddscsi.h): byte offsets of
// the 44-byte header. The buffered form holds the data area's offset at `data_buffer`, the direct
// form the 32-bit address of the caller's buffer.
namespace spt {
inline constexpr std::uint32_t header_size = 44;
inline constexpr std::uint32_t length = 0;  // u16
inline constexpr std::uint32_t scsi_status = 2;
inline constexpr std::uint32_t path_id = 3;
inline constexpr std::uint32_t target_id = 4;
inline constexpr std::uint32_t lun = 5;
inline constexpr std::uint32_t cdb_length = 6;
inline constexpr std::uint32_t sense_info_length = 7;
inline constexpr std::uint32_t data_in = 8;
inline constexpr std::uint32_t data_transfer_length = 12;  // u32
inline constexpr std::uint32_t time_out_value = 16;        // u32, seconds
inline constexpr std::uint32_t data_buffer = 20;           // u32: offset (buffered) or address (direct)
inline constexpr std::uint32_t sense_info_offset = 24;     // u32
inline constexpr std::uint32_t cdb = 28;                   // 16 bytes
inline constexpr std::uint32_t cdb_capacity = 16;

inline constexpr std::uint8_t data_out_direction = 0;          // SCSI_IOCTL_DATA_OUT
inline constexpr std::uint8_t data_in_direction = 1;           // SCSI_IOCTL_DATA_IN
inline constexpr std::uint8_t data_unspecified_direction = 2;  // SCSI_IOCTL_DATA_UNSPECIFIED
}  // namespace spt

class Devices {
 public:
  virtual ~Devices() = default;

  // CreateFileA with no security attributes and no template: the handle, or invalid_handle_value.
  virtual Handle create_file(const char* path, std::uint32_t access, std::uint32_t share_mode, std::uint32_t creation,
                             std::uint32_t flags) = 0;
  // CloseHandle: false when the handle was not open.
  virtual bool close_handle(Handle handle) = 0;
  // DeviceIoControl without an overlapped structure: false when the call failed. `returned` is
  // the number of bytes placed in `out`.
  virtual bool device_io_control(Handle device, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                                 std::uint32_t out_size, std::uint32_t& returned) = 0;
  // GetDriveTypeA of a root such as "D:": one of the drive_* values.
  virtual std::uint32_t get_drive_type(const char* root) = 0;
  // The 32-bit value a direct request carries for `buffer` (null gives 0). On Win32 it is the
  // address itself; where pointers are wider, the value stands for the buffer of the latest call
  // only, which is enough because requests are strictly sequential.
  virtual std::uint32_t buffer_address(void* buffer) = 0;
};

}  // namespace tz::platform
