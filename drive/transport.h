#pragma once
// One SCSI request to the drive at current_drive, over ASPI or SCSI pass-through. Every executor
// returns 0 (GOOD), 1 (CHECK CONDITION; last_sense_key, last_asc, last_ascq saved) or -1
// (transport failure, time-out, another SCSI status, or a request refused before it was sent),
// and leaves the number of data bytes the drive moved in DriveState::transferred: GOOD says
// nothing about how much data came.
#include <array>
#include <cstdint>

namespace tz {

struct DriveLink;

// Data phase of a request; the values are also the pass-through DataIn values.
inline constexpr std::uint8_t dir_out = 0;
inline constexpr std::uint8_t dir_in = 1;
inline constexpr std::uint8_t dir_none = 2;

inline constexpr std::uint32_t aspi_command_timeout_ms = 60000;
// How long a request given up on may take to end once aborted.
inline constexpr std::uint32_t aspi_abort_wait_ms = 5000;
inline constexpr std::uint32_t spt_timeout_seconds = 1800;
// How long ASPI waits for the ROM rewrite and the verify, which are never aborted: as long as a
// pass-through request may take, 36 times the longest rewrite a table entry announces (50 s).
// Once the user is told the update failed he turns the computer off, so a drive still rewriting
// must have had every chance to finish.
inline constexpr std::uint32_t aspi_long_command_timeout_ms = spt_timeout_seconds * 1000;

// What becomes of an ASPI request that outlives its wait.
enum class OnTimeout : std::uint8_t {
  // Aborted, so that its late end cannot land in the block once it holds the next request.
  abort,
  // Left to the drive, which may be rewriting its ROM: an abort reaching it then is the surest way
  // to leave it without firmware. The manager keeps the block, so ASPI serves no more requests.
  keep,
};

enum class PassThroughKind : std::uint8_t { buffered, direct };

// What a command hands to the transport. The CDB is always 12 bytes.
struct ScsiRequest {
  const std::uint8_t* cdb = nullptr;
  std::uint8_t direction = dir_none;
  std::uint32_t length = 0;
  std::uint8_t* buffer = nullptr;
  std::uint32_t aspi_timeout = aspi_command_timeout_ms;
  OnTimeout on_timeout = OnTimeout::abort;
  PassThroughKind kind = PassThroughKind::buffered;
};

// CDB length that ASPI is told for each operation code (pass-through always declares 12).
constexpr std::array<std::uint8_t, 256> make_cdb_length_table() {
  std::array<std::uint8_t, 256> table{};
  for (unsigned op = 0; op < 256; ++op) {
    if (op < 0x20) {
      table[op] = 6;
    } else if (op < 0x60) {
      table[op] = op == 0x2D ? 12 : 10;
    } else {
      table[op] = 12;
    }
  }
  return table;
}
inline constexpr std::array<std::uint8_t, 256> cdb_length_table = make_cdb_length_table();

// SRB_Flags direction bits for a request direction: in 0x08, out 0x10, none 0x18.
std::uint8_t aspi_direction_flags(std::uint8_t direction);

// Loads wnaspi32.dll and checks its support status; -1 after its message (none in silent mode).
int aspi_load(DriveLink& link);
// A request whose wait fails is aborted before the request block serves another, unless it is
// to be kept; when the manager does not give the block back, every later request returns -1
// without being sent.
int aspi_execute(DriveLink& link, const std::uint8_t* cdb, std::uint8_t flags, std::uint32_t length,
                 std::uint8_t* buffer, std::uint32_t timeout_ms, OnTimeout on_timeout = OnTimeout::abort);
// False once ASPI serves no more requests this run: the manager kept a request block.
bool aspi_usable(const DriveLink& link);

// Opens device_path of the current drive into device_handle: 0, or -1 when it could not be opened.
int spt_open(DriveLink& link);
// Closes device_handle if it is open and marks it closed.
void spt_close(DriveLink& link);
// In and no-data requests through the 592-byte request buffer: at most 512 data bytes.
int spt_execute_buffered(DriveLink& link, const std::uint8_t* cdb, std::uint8_t direction, std::uint32_t length,
                         std::uint8_t* buffer);
// Requests whose data stay in the caller's buffer; every data-out request goes this way.
int spt_execute_direct(DriveLink& link, const std::uint8_t* cdb, std::uint8_t direction, std::uint32_t length,
                       std::uint8_t* buffer);
// FSCTL_LOCK_VOLUME (lock 1) or FSCTL_UNLOCK_VOLUME (otherwise) on device_handle: 0 or -1.
int spt_lock_volume(DriveLink& link, std::uint8_t lock);

// Sends the request over the transport chosen at start-up.
int execute_request(DriveLink& link, const ScsiRequest& request);

}  // namespace tz
