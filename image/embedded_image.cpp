// The image file that the generator wrote at build time (header, info block, payload), taken into
// the program's read-only data as it is, so that no copy of it is ever made at run time. The build
// names the read-only section of the object format and the folder of the file. This unit holds
// nothing else: the assembler text leaves the section state where the compiler expects it.
#include "image/layout.h"

// The file name the build gives the generated image; the build passes its folder to the assembler.
#define TZ594K_IMAGE_FILE_NAME "TZ594K_V101.bin"

#define TZ594K_TEXT(x) #x
#define TZ594K_EXPAND_TEXT(x) TZ594K_TEXT(x)
#define TZ594K_SYMBOL(name) TZ594K_EXPAND_TEXT(__USER_LABEL_PREFIX__) #name

static_assert(tz::header_bytes == 48 && tz::image_info_block_bytes == 368 &&
                  tz::image_payload_block_count * tz::payload_block_bytes == 1122304,
              "the parts below split the image file at these sizes");

asm(".section " TZ594K_EXPAND_TEXT(TZ594K_CONST_SECTION) "\n"
    "  .globl " TZ594K_SYMBOL(tz594k_image_header) "\n"
    "  .balign 16\n"
    TZ594K_SYMBOL(tz594k_image_header) ":\n"
    "  .incbin \"" TZ594K_IMAGE_FILE_NAME "\", 0, 48\n"
    "  .globl " TZ594K_SYMBOL(tz594k_image_info_block) "\n"
    "  .balign 16\n"
    TZ594K_SYMBOL(tz594k_image_info_block) ":\n"
    "  .incbin \"" TZ594K_IMAGE_FILE_NAME "\", 48, 368\n"
    "  .globl " TZ594K_SYMBOL(tz594k_image_payload) "\n"
    "  .balign 16\n"
    TZ594K_SYMBOL(tz594k_image_payload) ":\n"
    "  .incbin \"" TZ594K_IMAGE_FILE_NAME "\", 416, 1122304\n"
    "  .text\n");
