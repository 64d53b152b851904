#include "sim/sgio/sg_io.h"

#include <cerrno>
#include <cstring>

namespace tz::sim {

namespace {

constexpr std::uint8_t driver_sense = 0x08;  // the driver status that says sense data came back
constexpr char device_file_prefix[] = "tz594k-drive-";

}  // namespace

SgIoResult run_sg_io(SimDrive& drive, sg_io_hdr& header) {
  SgIoResult result;
  if (header.interface_id != 'S' || header.cmd_len == 0 || header.cmd_len > max_cdb_bytes || header.iovec_count != 0) {
    result.error = EINVAL;
    return result;
  }
  if (header.dxfer_len > sg_max_transfer) {
    result.error = EIO;
    return result;
  }
  Direction direction = Direction::none;
  if (header.dxfer_len != 0) {
    switch (header.dxfer_direction) {
      case SG_DXFER_TO_DEV:
        direction = Direction::out;
        break;
      case SG_DXFER_FROM_DEV:
      case SG_DXFER_TO_FROM_DEV:
        direction = Direction::in;
        break;
      default:
        result.error = EINVAL;
        return result;
    }
    if (header.dxferp == nullptr) {
      result.error = EFAULT;
      return result;
    }
  }
  if (header.cmdp == nullptr) {
    result.error = EFAULT;
    return result;
  }

  std::uint8_t cdb[max_cdb_bytes] = {};
  std::memcpy(cdb, header.cmdp, header.cmd_len);
  auto* data = direction == Direction::none ? nullptr : static_cast<std::uint8_t*>(header.dxferp);
  const std::uint32_t length = direction == Direction::none ? 0 : header.dxfer_len;
  result.outcome = drive.execute(cdb, header.cmd_len, direction, data, length);
  result.ran = true;
  const Outcome& out = result.outcome;
  if (out.delivery == Outcome::Delivery::hung) {
    result.wait_ms = header.timeout != 0 ? header.timeout : sg_default_timeout_ms;
    result.error = ETIMEDOUT;
    return result;
  }
  if (out.delivery == Outcome::Delivery::failed) {
    result.error = EIO;
    return result;
  }

  result.wait_ms = out.busy_ms;
  header.status = out.status;
  header.masked_status = static_cast<unsigned char>((out.status >> 1) & 0x7F);
  header.msg_status = 0;
  header.host_status = 0;
  header.driver_status = out.status == status_check_condition ? driver_sense : 0;
  header.info = header.masked_status != 0 || header.driver_status != 0 ? SG_INFO_CHECK : SG_INFO_OK;
  header.resid = static_cast<int>(length - (out.transferred < length ? out.transferred : length));
  header.duration = out.busy_ms;
  header.sb_len_wr = 0;
  if (out.sense_length != 0 && header.sbp != nullptr) {
    const std::uint32_t n = out.sense_length < header.mx_sb_len ? out.sense_length : header.mx_sb_len;
    std::memcpy(header.sbp, out.sense, n);
    header.sb_len_wr = static_cast<unsigned char>(n);
  }
  return result;
}

char device_file_letter(const char* path) {
  if (path == nullptr) return 0;
  const char* slash = std::strrchr(path, '/');
  const char* name = slash == nullptr ? path : slash + 1;
  const std::size_t prefix = sizeof(device_file_prefix) - 1;
  if (std::strncmp(name, device_file_prefix, prefix) != 0 || std::strlen(name) != prefix + 1) return 0;
  const char letter = name[prefix];
  return letter >= 'C' && letter <= 'Z' ? letter : 0;
}

}  // namespace tz::sim
