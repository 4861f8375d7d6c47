# Finds the static Qt of the MinGW-w64 cross build (Tidewell.exe and its
# window tests). TIDEWELL_QT_MINGW names an unpacked Qt; left empty, the
# tarball beside the project (../shared/toolchains) is unpacked into the build
# folder, once per tarball. scripts/build-qt6-mingw.sh makes either.
set(TIDEWELL_QT_MINGW "" CACHE PATH
  "Unpacked static Qt 6 for MinGW-w64; empty: unpack TIDEWELL_QT_MINGW_TARBALL into the build folder")
set(TIDEWELL_QT_MINGW_TARBALL
  "${PROJECT_SOURCE_DIR}/../shared/toolchains/qt-6.4.2-mingw-w64-x86_64-static.tar.xz"
  CACHE FILEPATH "Static Qt 6 for MinGW-w64 as made by scripts/build-qt6-mingw.sh")

set(tw_qt_root "${TIDEWELL_QT_MINGW}")
if(tw_qt_root STREQUAL "")
  get_filename_component(tw_tarball "${TIDEWELL_QT_MINGW_TARBALL}" ABSOLUTE)
  if(NOT EXISTS "${tw_tarball}")
    message(FATAL_ERROR
      "No static Qt for MinGW-w64: TIDEWELL_QT_MINGW is empty and ${tw_tarball} does not exist. "
      "Point TIDEWELL_QT_MINGW at an unpacked Qt (scripts/build-qt6-mingw.sh builds one), "
      "or configure with -DTIDEWELL_BUILD_GUI=OFF for the Qt-free layers only.")
  endif()
  # The stamp holds the tarball's digest: a changed tarball is unpacked anew,
  # an unchanged one only once.
  set(tw_unpacked "${CMAKE_BINARY_DIR}/qt-mingw")
  file(SHA256 "${tw_tarball}" tw_digest)
  set(tw_stamp "${tw_unpacked}/unpacked-from.sha256")
  set(tw_old_digest "")
  if(EXISTS "${tw_stamp}")
    file(READ "${tw_stamp}" tw_old_digest)
  endif()
  file(GLOB tw_top LIST_DIRECTORIES true "${tw_unpacked}/*/lib/cmake/Qt6")
  if(NOT tw_old_digest STREQUAL tw_digest OR NOT tw_top)
    message(STATUS "Unpacking ${tw_tarball}")
    file(REMOVE_RECURSE "${tw_unpacked}")
    file(ARCHIVE_EXTRACT INPUT "${tw_tarball}" DESTINATION "${tw_unpacked}")
    file(WRITE "${tw_stamp}" "${tw_digest}")
    file(GLOB tw_top LIST_DIRECTORIES true "${tw_unpacked}/*/lib/cmake/Qt6")
  endif()
  list(LENGTH tw_top tw_count)
  if(NOT tw_count EQUAL 1)
    message(FATAL_ERROR "${tw_tarball} does not hold one Qt (lib/cmake/Qt6) below its top folder")
  endif()
  get_filename_component(tw_qt_root "${tw_top}/../../.." ABSOLUTE)
endif()
if(NOT EXISTS "${tw_qt_root}/lib/cmake/Qt6/Qt6Config.cmake")
  message(FATAL_ERROR "TIDEWELL_QT_MINGW=${tw_qt_root} holds no Qt 6 (lib/cmake/Qt6/Qt6Config.cmake)")
endif()
message(STATUS "Static Qt for MinGW-w64: ${tw_qt_root}")

# The cross toolchain searches packages inside its find roots only.
list(APPEND CMAKE_FIND_ROOT_PATH "${tw_qt_root}")
list(APPEND CMAKE_PREFIX_PATH "${tw_qt_root}")
# moc, rcc and uic run on this machine: Debian's own Qt of the same version
# (qt6-base-dev-tools).
if(NOT QT_HOST_PATH_CMAKE_DIR)
  file(GLOB tw_host_tools "/usr/lib/*/cmake/Qt6CoreTools/Qt6CoreToolsConfig.cmake")
  if(NOT tw_host_tools)
    message(FATAL_ERROR "Qt's host tools are missing: install qt6-base-dev and qt6-base-dev-tools")
  endif()
  list(GET tw_host_tools 0 tw_host_tools)
  get_filename_component(tw_host_cmake "${tw_host_tools}/../.." ABSOLUTE)
  set(QT_HOST_PATH_CMAKE_DIR "${tw_host_cmake}" CACHE PATH "Debian's Qt 6 CMake folder (host tools)")
endif()
set(QT_HOST_PATH "/usr" CACHE PATH "Prefix of Qt's host tools")
