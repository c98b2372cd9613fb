# Builds the Debian package into a fresh folder and checks what apt-get
# would see: the declared dependencies and the files a menu needs.
# -DBUILD=<build folder> -DWORK=<empty folder>
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND cpack -G DEB --config ${BUILD}/CPackConfig.cmake -B ${WORK}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(GLOB debs ${WORK}/*.deb)
list(LENGTH debs n)
if(NOT rc EQUAL 0 OR NOT n EQUAL 1)
  message(FATAL_ERROR "cpack failed (${rc}):\n${out}\n${err}")
endif()
execute_process(COMMAND dpkg-deb -f ${debs} Package Depends OUTPUT_VARIABLE fields)
foreach(needed "Package: ts4820fp" "libqt6widgets6" "libqt6network6" "libavahi-client3" "fonts-liberation" "qt6-qpa-plugins")
  string(FIND "${fields}" "${needed}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the package does not declare ${needed}:\n${fields}")
  endif()
endforeach()
execute_process(COMMAND dpkg-deb -c ${debs} OUTPUT_VARIABLE contents)
foreach(file ./usr/bin/ts4820fp ./usr/bin/ts4820sim ./usr/lib/ts4820fp/libts4820_64.so
             ./usr/lib/ts4820fp/libvisa.so ./usr/share/applications/ts4820fp.desktop
             ./usr/share/icons/hicolor/48x48/apps/ts4820fp.png ./usr/share/doc/ts4820fp/README.md)
  string(FIND "${contents}" " ${file}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the package lacks ${file}:\n${contents}")
  endif()
endforeach()
message(STATUS "${fields}")
