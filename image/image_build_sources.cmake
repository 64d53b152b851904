# Sources of the image layout writer and the codec: the program, the simulator and the image
# generator share them. Also read by the generator's host build in the cross preset.
set(TZ594K_IMAGE_BUILD_SOURCES
  codec.cpp
  firmware_levels.cpp
  identity.cpp
  info_block.cpp
)
