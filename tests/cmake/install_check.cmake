# Installs the build into a fresh prefix and starts the installed program
# offscreen into demo mode, with the probe answering its dialogues.
# -DBUILD=<build folder> -DPREFIX=<empty folder> -DPROBE=<libinstallprobe.so>
# -DBINDIR= -DLIBDIR= -DINCLUDEDIR= -DDATADIR= -DDOCDIR=, relative, as configured
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

set(expected
  ${BINDIR}/ts4820fp
  ${BINDIR}/ts4820sim
  ${INCLUDEDIR}/ts4820/ts4820.h
  ${INCLUDEDIR}/ts4820/visa.h
  ${DATADIR}/applications/ts4820fp.desktop
  ${DOCDIR}/README.md
  ${DOCDIR}/docs/programming-manual.md
  ${DOCDIR}/docs/screenshots/main-96-75.png)
foreach(size 16 32 48 64 128 256)
  list(APPEND expected ${DATADIR}/icons/hicolor/${size}x${size}/apps/ts4820fp.png)
endforeach()
file(GLOB libs ${PREFIX}/${LIBDIR}/libts4820_64.so* ${PREFIX}/${LIBDIR}/libvisa.so*)
list(LENGTH libs nlibs)
if(nlibs LESS 2)
  message(FATAL_ERROR "driver or VISA library not installed: ${libs}")
endif()
foreach(f ${expected})
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

# The installed program, away from the build tree: its own libraries must
# come from the prefix.
set(home ${PREFIX}/home)
file(MAKE_DIRECTORY ${home}/runtime)
file(CHMOD ${home}/runtime PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen LD_PRELOAD=${PROBE} HOME=${home}
          XDG_CONFIG_HOME=${home}/config ALLUSERSPROFILE=${home}/profile XDG_RUNTIME_DIR=${home}/runtime
          ${PREFIX}/${BINDIR}/ts4820fp
  WORKING_DIRECTORY ${home}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
if(NOT rc EQUAL 0 OR NOT out MATCHES "window: Xentra 4820[^\n]*\nrelay buttons: 580")
  message(FATAL_ERROR "the installed program did not reach demo mode (${rc}):\n${out}\n${err}")
endif()
execute_process(COMMAND ldd ${PREFIX}/${BINDIR}/ts4820fp OUTPUT_VARIABLE linked)
if(NOT linked MATCHES "libts4820_64.so => ${PREFIX}/")
  message(FATAL_ERROR "the installed program does not use the installed driver:\n${linked}")
endif()
message(STATUS "${out}")
