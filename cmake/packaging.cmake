# CPack: `cpack` in the build folder packs what `cmake --install` installs.
# The formats are chosen here by platform; a build for another platform adds
# its own format to CPACK_GENERATOR before this file is included.
set(CPACK_PACKAGE_NAME ${TOOLS_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "dataport developers")
set(CPACK_PACKAGE_CONTACT "dataport developers <dataport@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "split and rebuild binary data files by their header; apply fc /B byte listings")
set(CPACK_PACKAGE_DESCRIPTION
    "dataport takes a binary data file apart by its header table and puts it back
together, converting text through TBL character tables; mendbin applies a
byte-difference listing as printed by Windows fc /B.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_FILE_NAME "${TOOLS_PACKAGE_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}")
set(CPACK_STRIP_FILES ON)

if(NOT CPACK_GENERATOR)
  set(CPACK_GENERATOR TGZ)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    list(APPEND CPACK_GENERATOR DEB)
  endif()
endif()

# Debian: the programs link only the C++ runtime, which dpkg-shlibdeps works
# out from the binaries when it is installed.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
find_program(TOOLS_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TOOLS_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()

include(CPack)
