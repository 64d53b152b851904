#include "platform/win32/win32_devices.h"

#include <windows.h>

#include <cstdint>

namespace tz::platform::win32 {

static_assert(sizeof(void*) == 4, "the pass-through requests are built in the 32-bit layout");

Handle Win32Devices::create_file(const char* path, std::uint32_t access, std::uint32_t share_mode,
                                 std::uint32_t creation, std::uint32_t flags) {
  return reinterpret_cast<Handle>(CreateFileA(path, access, share_mode, nullptr, creation, flags, nullptr));
}

bool Win32Devices::close_handle(Handle handle) { return CloseHandle(reinterpret_cast<HANDLE>(handle)) != 0; }

bool Win32Devices::device_io_control(Handle device, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                                     std::uint32_t out_size, std::uint32_t& returned) {
  DWORD bytes = 0;
  const BOOL ok = DeviceIoControl(reinterpret_cast<HANDLE>(device), code, in, in_size, out, out_size, &bytes, nullptr);
  returned = bytes;
  return ok != 0;
}

std::uint32_t Win32Devices::get_drive_type(const char* root) { return GetDriveTypeA(root); }

std::uint32_t Win32Devices::buffer_address(void* buffer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer));
}

}  // namespace tz::platform::win32
