// A bay file's text through the simulator's parser. A bay that loads must save to a text that
// loads back to the same bay: a run that rewrote a drive must find it rewritten at the next start.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/require.h"
#include "sim/bay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tz::sim::Bay bay;
  std::string error;
  if (!bay.parse(text, error)) {
    tz::fuzz::require(bay.drives().empty(), "a refused bay file leaves the bay empty");
    tz::fuzz::require(!error.empty(), "a refused bay file says why");
    return 0;
  }
  const std::string saved = bay.serialise();
  tz::sim::Bay reloaded;
  std::string reload_error;
  tz::fuzz::require(reloaded.parse(saved, reload_error), "a saved bay file loads again");
  tz::fuzz::require(reloaded.serialise() == saved, "a saved bay file loads back to the same bay");
  return 0;
}
