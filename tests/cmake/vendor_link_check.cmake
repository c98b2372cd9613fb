# Configures the project with a vendor's driver and VISA library named on the
# command line and checks that the program links those instead of ours.
# Run with -DSOURCE=<project> -DWORK=<empty folder>.
set(driver "${WORK}/vendor/libvendor_ts4820.so")
set(visa "${WORK}/vendor/libvendor_visa.so")
file(REMOVE_RECURSE "${WORK}")
file(WRITE "${driver}" "")
file(WRITE "${visa}" "")
execute_process(
  COMMAND ${CMAKE_COMMAND} -S "${SOURCE}" -B "${WORK}/build" -G Ninja
          -DTS4820_BUILD_TESTS=OFF -DTS4820_BUILD_BENCH=OFF
          "-DTS4820_VENDOR_DRIVER=${driver}" "-DTS4820_VENDOR_VISA=${visa}"
  RESULT_VARIABLE configured OUTPUT_QUIET)
if(NOT configured EQUAL 0)
  message(FATAL_ERROR "configuring with vendor libraries failed")
endif()
file(STRINGS "${WORK}/build/build.ninja" lines)
set(link "")
set(in_program OFF)
foreach(line IN LISTS lines)
  if(line MATCHES "^build bin/ts4820fp:")
    set(in_program ON)
  elseif(in_program AND line MATCHES "^  LINK_LIBRARIES = ")
    set(link "${line}")
    break()
  endif()
endforeach()
if(NOT link MATCHES "vendor_ts4820" OR NOT link MATCHES "vendor_visa")
  message(FATAL_ERROR "the program does not link the vendor libraries: ${link}")
endif()
if(link MATCHES "libts4820_64\\.so" OR link MATCHES "lib/libvisa\\.so")
  message(FATAL_ERROR "the program still links our driver or VISA: ${link}")
endif()
file(REMOVE_RECURSE "${WORK}")
message(STATUS "the program links the vendor's driver and VISA")
