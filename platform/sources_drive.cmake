list(APPEND TZ594K_PLATFORM_WIN32_SOURCES
  win32/win32_aspi.cpp
  win32/win32_devices.cpp
)
list(APPEND TZ594K_PLATFORM_HOST_SOURCES
  host/host_aspi.cpp
  host/host_devices.cpp
)
