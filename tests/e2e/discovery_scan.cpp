// The program's own start-up pieces and discovery code on the real Win32 seam: decodes its tables,
// classifies Windows and picks the transport, loads the carried image, scans every drive in silent
// mode and selects the targets. Prints the scan and every record that answered; exit code 0 when
// the scan found at least one target.
#include <cstdio>
#include <memory>

#include "app/context.h"
#include "app/startup.h"
#include "core/os_class.h"
#include "drive/discovery.h"
#include "drive/drive_table.h"
#include "drive/targets.h"
#include "image/image_load.h"
#include "image/matching.h"
#include "platform/win32/win32_os.h"

int main() {
  tz::platform::win32::Win32Os system_seam(tz::platform::null_handle);
  const auto ctx = std::make_unique<tz::Context>(system_seam.os());
  tz::Context& c = *ctx;
  c.app.texts.decode();
  tz::build_model_tables(c.app.models);
  tz::first_switch_scan(c, "/AU /LE");  // silent: no tray prompt waits for a click nobody gives
  tz::platform::OsVersionInfo version;
  c.app.os_class = tz::get_os_class(c.os.system, version);
  c.drive.transport = tz::is_nt_class(c.app.os_class) ? tz::transport_pass_through : tz::transport_aspi;
  tz::choose_language(c);
  std::printf("os class %u, transport %s\n", static_cast<unsigned>(c.app.os_class),
              c.drive.transport == tz::transport_aspi ? "aspi" : "pass-through");
  if (tz::load_firmware_image(c.image, c.app.texts) != 0) {
    std::printf("image: FAILED\n");
    return 2;
  }
  const int scan = tz::scan_drives(c.link);
  const int selection = tz::select_update_targets(c.link);
  std::printf("scan %d, selection %d\n", scan, selection);
  for (std::uint32_t i = 0; i < tz::drive_table_size; ++i) {
    const tz::DriveRecord& d = c.drive.drive_table[i];
    if (d.status == tz::drive_status_empty) continue;
    std::printf("%u:%u [%s] [%s] [%s] identity [%s] [%s] status %u\n", static_cast<unsigned>(d.ha_id),
                static_cast<unsigned>(d.target_id), d.vendor_id, d.product_id, d.product_revision,
                d.identity.model_code, d.identity.info_revision, static_cast<unsigned>(d.status));
  }
  std::fflush(stdout);
  return tz::count_drives_by_status(c.drive, tz::drive_status_target) != 0 ? 0 : 1;
}
