# The embedded image set: firmware/BinImage.h and BinImage.cpp in the build tree.
#
# -DFIRMWARE_DIR=<dir> takes the three 1.0.6 image files from <dir>. Without it the build
# generates the synthetic sample set, and the serial module then opens only ports under
# COM_PORT_DIR, so that synthetic images can never reach a real unit.

set(FIRMWARE_DIR "" CACHE PATH "Directory holding the three real image files")

set(KESTRANE_IMAGE_NAMES
    T284619_MCU_6G-SDI_61_1_06.hex
    T284619_TX_XC7A35_1_06.mcs
    T284619_RX_XC7A35_1_06.mcs)

# The generators run at build time, so a cross build takes them from a native build:
# -DKESTRANE_HOST_TOOLS_DIR=<native build dir> (the Makefile's `make windows` does so).
set(KESTRANE_HOST_TOOLS_DIR "" CACHE PATH "Native build holding embed_images and sample_images (cross builds)")
if(CMAKE_CROSSCOMPILING)
  if(NOT KESTRANE_HOST_TOOLS_DIR)
    message(FATAL_ERROR "A cross build needs -DKESTRANE_HOST_TOOLS_DIR=<native build dir> for its image generators")
  endif()
  foreach(tool embed_images sample_images)
    add_executable(${tool} IMPORTED)
    set_target_properties(${tool} PROPERTIES IMPORTED_LOCATION "${KESTRANE_HOST_TOOLS_DIR}/${tool}")
  endforeach()
else()
  add_executable(embed_images tools/embed_images/embed_images.cpp)
  add_executable(sample_images tools/sample_images/sample_images.cpp)
endif()

if(FIRMWARE_DIR)
  set(KESTRANE_SAMPLE_IMAGES OFF)
  set(image_files "")
  foreach(name IN LISTS KESTRANE_IMAGE_NAMES)
    if(NOT EXISTS "${FIRMWARE_DIR}/${name}")
      message(FATAL_ERROR "FIRMWARE_DIR=${FIRMWARE_DIR} does not hold ${name}")
    endif()
    list(APPEND image_files "${FIRMWARE_DIR}/${name}")
  endforeach()
  set(embed_flags "")
  message(STATUS "Embedding the image files of ${FIRMWARE_DIR}")
else()
  set(KESTRANE_SAMPLE_IMAGES ON)
  set(sample_dir "${CMAKE_BINARY_DIR}/sample_image_set")
  set(image_files "")
  foreach(name IN LISTS KESTRANE_IMAGE_NAMES)
    list(APPEND image_files "${sample_dir}/${name}")
  endforeach()
  add_custom_command(
    OUTPUT ${image_files}
    COMMAND ${CMAKE_COMMAND} -E make_directory "${sample_dir}"
    COMMAND sample_images "${sample_dir}"
    DEPENDS sample_images
    COMMENT "Generating the synthetic sample image set")
  set(embed_flags --sample)
  message(WARNING
    "No FIRMWARE_DIR given: this build embeds SYNTHETIC SAMPLE IMAGES and is for the "
    "tests and the demo only. It opens only simulated ports (under COM_PORT_DIR; on "
    "Windows only under Wine) and cannot reach a real unit. Configure with -DFIRMWARE_DIR=<dir of the 1.0.6 image files> for a "
    "build that upgrades real units.")
endif()
set(KESTRANE_IMAGE_FILES ${image_files})

set(generated_dir "${CMAKE_BINARY_DIR}/firmware")
add_custom_command(
  OUTPUT "${generated_dir}/BinImage.h" "${generated_dir}/BinImage.cpp"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${generated_dir}"
  COMMAND embed_images ${embed_flags} "${generated_dir}" ${image_files}
  DEPENDS embed_images ${image_files}
  COMMENT "Checking and embedding the image set")

add_library(kestrane_firmware STATIC "${generated_dir}/BinImage.cpp")
# One string literal per image: far over the length the standard promises, fine for our compilers.
target_compile_options(kestrane_firmware PRIVATE $<$<CXX_COMPILER_ID:Clang>:-Wno-overlength-strings>)
target_include_directories(kestrane_firmware PUBLIC "${CMAKE_BINARY_DIR}")

# The build's check of an image text, shared with fwimage so that both give one verdict.
add_library(kestrane_image_check STATIC tools/image_check/ImageCheck.cpp)
target_include_directories(kestrane_image_check PUBLIC tools/image_check)
if(NOT CMAKE_CROSSCOMPILING)
  target_link_libraries(embed_images PRIVATE kestrane_image_check)
endif()
