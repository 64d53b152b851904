#include "ui/power.h"

#include "ui/screens.h"

namespace tz {

bool on_battery_power(const platform::PowerStatus& status) {
  const std::uint8_t flag = status.battery_flag;
  return status.ac_line_status == platform::ac_line_offline && flag != platform::battery_flag_unknown &&
         (flag & platform::battery_flag_no_battery) == 0;
}

bool check_mains_power(Ui& ui, platform::System& system) {
  if (ui.switches.ignore_power != 0) return true;
  for (;;) {
    platform::PowerStatus status;
    if (!system.power_status(status) || !on_battery_power(status)) return true;
    if (ui.silent() || show_battery_prompt(ui) != 0) return false;
  }
}

}  // namespace tz
