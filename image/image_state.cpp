#include "image/image_state.h"

namespace tz {

ImageState::ImageState()
    : working_buffer{},
      image_identity{},
      pristine_header{},
      pristine_info_block{},
      transfer_header{},
      transfer_info_block{},
      stored(&embedded_image()) {
  init_identity_record(image_identity);
}

}  // namespace tz
