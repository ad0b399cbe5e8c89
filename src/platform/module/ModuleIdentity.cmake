# cmake -DSOURCE_DIR=<src> -DTOOLCHAIN=<text> -DOUTPUT=<header> -P ModuleIdentity.cmake
# Writes the build identity that the program and its modules carry: a SHA-256 of every source file
# (path and content) and of the toolchain's description. The header is rewritten only when the identity
# changes, so that an unchanged tree rebuilds nothing.
file(GLOB_RECURSE sources LIST_DIRECTORIES false RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
list(SORT sources)
set(digests "${TOOLCHAIN}\n")
foreach(source IN LISTS sources)
  file(SHA256 ${SOURCE_DIR}/${source} digest)
  string(APPEND digests "${source} ${digest}\n")
endforeach()
string(SHA256 identity "${digests}")
set(header "// Made by the build (platform/module/ModuleIdentity.cmake).\n#pragma once\n#define MORVANE_MODULE_BUILD_IDENTITY \"${identity}\"\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} written)
endif()
if(NOT written STREQUAL header)
  file(WRITE ${OUTPUT} "${header}")
endif()
