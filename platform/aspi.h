#pragma once
// LoadLibraryA and GetProcAddress of wnaspi32.dll, its two entry points, and the events ASPI
// completes through; the SRB_ExecSCSICmd and SRB_Abort request blocks as ASPI for Win32 lays
// them out.
#include <cstdint>

#include "platform/types.h"

namespace tz::platform {

// An entry point found by GetProcAddress; 0 when it was not found.
using ProcAddress = std::uintptr_t;

inline constexpr std::uint32_t wait_object_0 = 0x00000000;
inline constexpr std::uint32_t wait_abandoned = 0x00000080;
inline constexpr std::uint32_t wait_timeout = 0x00000102;
inline constexpr std::uint32_t wait_failed = 0xFFFFFFFF;

// SRB_ExecSCSICmd of ASPI for Win32 (byte-packed, 32-bit pointers): byte offsets of its fields.
namespace srb {
inline constexpr std::uint32_t size = 80;
inline constexpr std::uint32_t cmd = 0;
inline constexpr std::uint32_t status = 1;
inline constexpr std::uint32_t ha_id = 2;
inline constexpr std::uint32_t flags = 3;
inline constexpr std::uint32_t hdr_rsvd = 4;  // u32
inline constexpr std::uint32_t target = 8;
inline constexpr std::uint32_t lun = 9;
inline constexpr std::uint32_t rsvd1 = 10;        // u16
inline constexpr std::uint32_t buf_len = 12;      // u32
inline constexpr std::uint32_t buf_pointer = 16;  // u32 address
inline constexpr std::uint32_t sense_len = 20;
inline constexpr std::uint32_t cdb_len = 21;
inline constexpr std::uint32_t ha_stat = 22;
inline constexpr std::uint32_t targ_stat = 23;
inline constexpr std::uint32_t post_proc = 24;  // u32: the event handle under SRB_EVENT_NOTIFY
inline constexpr std::uint32_t rsvd2 = 28;      // 20 bytes
inline constexpr std::uint32_t cdb_byte = 48;   // 16 bytes
inline constexpr std::uint32_t cdb_capacity = 16;
inline constexpr std::uint32_t sense_area = 64;  // SENSE_LEN (14) + 2 bytes
inline constexpr std::uint32_t sense_area_size = 16;
inline constexpr std::uint8_t sense_len_value = 14;  // SENSE_LEN

// SRB_Abort (SC_ABORT_SRB): the header above (cmd, status, ha_id, flags, hdr_rsvd), then the
// 32-bit address of the request block to abort. ASPI carries it out before SendASPI32Command
// returns.
inline constexpr std::uint32_t abort_size = 12;
inline constexpr std::uint32_t to_abort = 8;  // u32 address

inline constexpr std::uint8_t sc_ha_inquiry = 0x00;
inline constexpr std::uint8_t sc_exec_scsi_cmd = 0x02;
inline constexpr std::uint8_t sc_abort_srb = 0x03;

inline constexpr std::uint8_t dir_in = 0x08;
inline constexpr std::uint8_t dir_out = 0x10;
inline constexpr std::uint8_t event_notify = 0x40;

inline constexpr std::uint8_t ss_pending = 0x00;
inline constexpr std::uint8_t ss_comp = 0x01;
inline constexpr std::uint8_t ss_aborted = 0x02;
inline constexpr std::uint8_t ss_abort_fail = 0x03;
inline constexpr std::uint8_t ss_err = 0x04;
inline constexpr std::uint8_t ss_invalid_cmd = 0x80;
inline constexpr std::uint8_t ss_invalid_ha = 0x81;
inline constexpr std::uint8_t ss_no_device = 0x82;
inline constexpr std::uint8_t ss_invalid_srb = 0xE0;
inline constexpr std::uint8_t ss_aspi_is_busy = 0xE5;
inline constexpr std::uint8_t ss_no_adapters = 0xE8;

// SRB_HaStat values.
inline constexpr std::uint8_t hastat_ok = 0x00;
inline constexpr std::uint8_t hastat_selection_timeout = 0x11;
inline constexpr std::uint8_t hastat_do_du = 0x12;  // data overrun or underrun
}  // namespace srb

class Aspi {
 public:
  virtual ~Aspi() = default;

  // LoadLibraryA: the module, or null_handle.
  virtual Handle load_library(const char* name) = 0;
  // GetProcAddress: the entry point, or 0.
  virtual ProcAddress get_proc_address(Handle module, const char* name) = 0;
  // Calls GetASPI32SupportInfo through its entry point: status in bits 8..15, adapters in 0..7.
  virtual std::uint32_t get_support_info(ProcAddress entry) = 0;
  // Calls SendASPI32Command through its entry point with the address of a request block (80
  // bytes for SC_EXEC_SCSI_CMD, 12 for SC_ABORT_SRB).
  virtual std::uint32_t send_command(ProcAddress entry, std::uint8_t* request_block) = 0;
  // CreateEventA, unnamed, no security attributes: the event, or null_handle. Event handles fit
  // in the 32-bit SRB_PostProc field, as they do in a 32-bit process.
  virtual Handle create_event(bool manual_reset, bool initially_signalled) = 0;
  // WaitForSingleObject: one of the wait_* values.
  virtual std::uint32_t wait_for_single_object(Handle object, std::uint32_t milliseconds) = 0;
  // ResetEvent: false on failure.
  virtual bool reset_event(Handle event) = 0;
  // CloseHandle: false when the handle was not open.
  virtual bool close_handle(Handle handle) = 0;
  // The 32-bit value an address field of a request block (SRB_BufPointer, SRB_ToAbort) carries
  // for `buffer` (null gives 0); see Devices::buffer_address.
  virtual std::uint32_t buffer_address(void* buffer) = 0;
};

}  // namespace tz::platform
