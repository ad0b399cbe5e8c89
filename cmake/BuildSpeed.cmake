# How the tree compiles in the time a two-core CI machine has: precompiled headers everywhere, and unity
# builds (several sources compiled as one) where the objects are not the shipped program's.
#
# MORVANE_UNITY_BUILD=ALL (the sanitizer presets) compiles every target as unity batches;
# MORVANE_UNITY_BUILD=TESTS (the default) only the tests, benchmarks and end-to-end probes, so the
# program and its modules are compiled file by file exactly as before; OFF compiles nothing as a batch.
set(MORVANE_UNITY_BUILD TESTS CACHE STRING "Unity batches for: ALL, TESTS or OFF")
set_property(CACHE MORVANE_UNITY_BUILD PROPERTY STRINGS ALL TESTS OFF)
option(MORVANE_PRECOMPILED_HEADERS "Precompile the heavy Qt, standard and test headers" ON)

# Sources that include GLib, the accessibility bus's or X11's C headers (directly or through our thin
# wrappers of them) are compiled on their own and without the precompiled header: those headers must
# come before Qt's (GLib names a struct member `signals`, Qt defines `signals` as a keyword; Xlib defines
# `Bool`, `None` and `Status`), which only a file of their own can promise.
set(_morvane_c_header_pattern
  "#include [<\"](glib|gio/|atspi/|libical/|X11/|xcb/|libecal|libebook|libedataserver|(platform/)?(eds/)?(Atspi[A-Za-z]*|GLib[A-Za-z]*|GObjectRef|EdsMapping|LibecalReferenceExpansion)\\.h)")

# The headers nearly every file of a family includes. Two families, because the test programs compile
# with -pthread (through GoogleTest), which changes what the C library's headers declare, and a
# precompiled header is only used with the options it was made with.
set(_morvane_common_headers <algorithm> <chrono> <functional> <map> <memory> <mutex> <optional> <set>
  <string> <utility> <vector> <QByteArray> <QDateTime> <QDebug> <QFuture> <QHash> <QList> <QObject>
  <QPointer> <QSet> <QString> <QStringList> <QTimer> <QVariant>)
set(_morvane_test_headers ${_morvane_common_headers} <gmock/gmock.h> <gtest/gtest.h>)

function(_morvane_collect_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _morvane_collect_targets(${sub} subTargets)
    list(APPEND targets ${subTargets})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# True for the targets whose objects end up in the shipped program or its modules.
function(_morvane_is_product target out)
  get_target_property(dir ${target} SOURCE_DIR)
  set(sourceRoot ${PROJECT_SOURCE_DIR}/src)
  cmake_path(IS_PREFIX sourceRoot "${dir}" NORMALIZE isProduct)
  set(${out} ${isProduct} PARENT_SCOPE)
endfunction()

# Marks the sources of <target> that must be compiled on their own.
function(_morvane_keep_c_headers_apart target)
  get_target_property(dir ${target} SOURCE_DIR)
  get_target_property(sources ${target} SOURCES)
  foreach(source IN LISTS sources)
    if(NOT source MATCHES "\\.(cpp|cc|cxx)$" OR source MATCHES "^\\$<")
      continue()
    endif()
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${dir} OUTPUT_VARIABLE path)
    if(NOT EXISTS ${path})
      continue()
    endif()
    file(STRINGS ${path} hits REGEX "${_morvane_c_header_pattern}" LIMIT_COUNT 1)
    if(hits)
      set_source_files_properties(${source} TARGET_DIRECTORY ${target}
        PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON SKIP_PRECOMPILE_HEADERS ON)
    endif()
    # A file with options of its own (the layout's vectorised loops) is compiled on its own too: the
    # shared header was not made with them.
    get_source_file_property(options ${source} TARGET_DIRECTORY ${target} COMPILE_OPTIONS)
    if(options)
      set_source_files_properties(${source} TARGET_DIRECTORY ${target}
        PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON SKIP_PRECOMPILE_HEADERS ON)
    endif()
  endforeach()
endfunction()

# Applied once, after every target is defined.
function(morvane_speed_up_build)
  _morvane_collect_targets(${PROJECT_SOURCE_DIR} targets)
  if(MORVANE_PRECOMPILED_HEADERS)
    add_library(morvane_pch_library STATIC ${PROJECT_SOURCE_DIR}/cmake/PrecompiledHeader.cpp)
    target_link_libraries(morvane_pch_library PRIVATE Qt6::Core)
    target_precompile_headers(morvane_pch_library PRIVATE ${_morvane_common_headers})
    if(TARGET GTest::gmock)
      add_library(morvane_pch_test STATIC ${PROJECT_SOURCE_DIR}/cmake/PrecompiledHeader.cpp)
      target_link_libraries(morvane_pch_test PRIVATE GTest::gtest GTest::gmock Qt6::Core)
      target_precompile_headers(morvane_pch_test PRIVATE ${_morvane_test_headers})
    endif()
  endif()
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(imported ${target} IMPORTED)
    if(imported OR NOT type MATCHES "^(STATIC_LIBRARY|EXECUTABLE|MODULE_LIBRARY|SHARED_LIBRARY)$"
       OR target MATCHES "^morvane_pch_")
      continue()
    endif()
    _morvane_keep_c_headers_apart(${target})
    # The modules and what they link compile with hidden visibility, which a shared header would have to
    # be made with too, and share sources with the program's own libraries, which as batches would
    # define the same functions twice in one link. They are a handful of files, compiled one by one.
    get_target_property(visibility ${target} CXX_VISIBILITY_PRESET)
    if(type MATCHES "^(MODULE|SHARED)_LIBRARY$" OR visibility)
      continue()
    endif()
    _morvane_is_product(${target} isProduct)
    if(MORVANE_UNITY_BUILD STREQUAL "ALL" OR (MORVANE_UNITY_BUILD STREQUAL "TESTS" AND NOT isProduct))
      set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
      # A batch includes its sources as if they were headers, and GCC then warns about every test
      # fixture of an anonymous namespace that a test class derives from.
      target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
    endif()
    if(NOT MORVANE_PRECOMPILED_HEADERS)
      continue()
    endif()
    # Benchmarks compile with -pthread but without GoogleTest's definitions: neither family fits them.
    get_target_property(libs ${target} LINK_LIBRARIES)
    if(libs MATCHES "benchmark::")
      continue()
    elseif(libs MATCHES "GTest::|morvane_test_support")
      if(TARGET morvane_pch_test)
        target_precompile_headers(${target} REUSE_FROM morvane_pch_test)
      endif()
    elseif(libs MATCHES "Qt6::")
      target_precompile_headers(${target} REUSE_FROM morvane_pch_library)
    endif()
  endforeach()
endfunction()
