#pragma once
// One function per SCSI command the program sends, for the drive at current_drive. Each returns
// the transport's result unchanged: 0 GOOD, 1 CHECK CONDITION (sense saved), -1 failure. A length
// that would run past the buffer it names is refused with -1 before anything is sent.
#include <cstdint>
#include <span>

namespace tz {

struct DriveLink;

// TEST UNIT READY, 6-byte CDB; `control` is its sixth byte.
int cmd_test_unit_ready(DriveLink& link, std::uint8_t control);
// Standard INQUIRY, 44 bytes into scsi_data_buffer.
int cmd_inquiry(DriveLink& link);
// START STOP UNIT with LoEj: opens the tray.
int cmd_eject(DriveLink& link, std::uint8_t immed);
// START STOP UNIT without LoEj: stops the unit.
int cmd_stop(DriveLink& link, std::uint8_t immed);
// GET EVENT STATUS NOTIFICATION, polled, `length` bytes into scsi_data_buffer.
int cmd_get_event_status(DriveLink& link, std::uint8_t class_request, std::uint16_t length);
// Vendor status read 0xFC, `length` bytes into scsi_data_buffer.
int cmd_vendor_read_status(DriveLink& link, std::uint8_t selector, std::uint32_t length);
// Vendor 0xED function 0x01 (boot mode); after GOOD it waits 2000 ms without servicing messages.
int cmd_prepare_download(DriveLink& link, std::uint8_t mode);
// Vendor 0xED function 0x10: `length` bytes of the drive's identity block into `destination`,
// which must hold them.
int cmd_read_identity_block(DriveLink& link, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint8_t p4,
                            std::uint8_t p5, std::uint8_t p6, std::uint16_t length,
                            std::span<std::uint8_t> destination);
// Vendor 0xEA: header then data, assembled in scsi_data_buffer, written at a 24-bit offset.
int cmd_write_download(DriveLink& link, std::uint32_t header_length, std::uint32_t data_length, std::uint32_t offset,
                       const std::uint8_t* header, const std::uint8_t* data);
// Vendor 0xE8: reads header and data back into scsi_data_buffer and, on GOOD only, splits them
// into header_out (skipped when null) and data_out, which may lie in scsi_data_buffer itself.
// Before the read every byte of the receive area is turned into its complement; GOOD with fewer
// bytes than the CDB asked for is -1.
int cmd_read_download(DriveLink& link, std::uint32_t header_length, std::uint32_t data_length, std::uint32_t offset,
                      std::uint8_t* header_out, std::uint8_t* data_out);
// Vendor 0xF5: ROM rewrite (mode 0x80 or 0x00) or verify (0x40); returns when the drive is done.
// Under ASPI it waits up to aspi_long_command_timeout_ms and never aborts the request.
int cmd_execute(DriveLink& link, std::uint8_t mode);

}  // namespace tz
