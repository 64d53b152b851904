// The Windows entry point: builds the real seam and hands over to the program.
#include <windows.h>

#include <memory>

#include "app/context.h"
#include "app/startup.h"
#include "platform/win32/win32_library.h"
#include "platform/win32/win32_os.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
  // Before anything loads a library.
  tz::platform::win32::restrict_library_search();
  tz::platform::win32::Win32Os system_seam(reinterpret_cast<tz::platform::Handle>(instance));
  // The context is large (drive table, image buffers): it lives on the heap, once, for the run.
  const auto ctx = std::make_unique<tz::Context>(system_seam.os());
  return tz::program_entry(*ctx, arguments != nullptr ? arguments : "");
}
