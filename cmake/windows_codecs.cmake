# The codec libraries for Windows: Debian's sources of the Linux versions,
# cross-built as static libraries by tools/build-windows.sh into folders named
# in CMAKE_PREFIX_PATH. They take the imported target names that pkg-config
# gives on Linux, so every unit links the same names on both systems.

# repng_static_library(<target> <library> <header or ""> [DEPENDS ...] [DEFINES ...])
# Static archives only: the mingw sysroot also holds import libraries of
# DLLs, which a lone .exe cannot use.
function(repng_static_library target library header)
  cmake_parse_arguments(S "" "" "DEPENDS;DEFINES" ${ARGN})
  string(MAKE_C_IDENTIFIER ${target} var)
  find_library(${var}_LIBRARY NAMES lib${library}.a REQUIRED)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    IMPORTED_LOCATION ${${var}_LIBRARY}
    INTERFACE_LINK_LIBRARIES "${S_DEPENDS}"
    INTERFACE_COMPILE_DEFINITIONS "${S_DEFINES}")
  # A header of the sysroot needs no include folder; naming that folder
  # would reorder the compiler's own search path.
  if(header)
    find_path(${var}_INCLUDE_DIR ${header} REQUIRED)
    set_target_properties(${target} PROPERTIES
      INTERFACE_INCLUDE_DIRECTORIES ${${var}_INCLUDE_DIR})
  endif()
endfunction()

repng_static_library(repng_mingw_zlib z "")
repng_static_library(PkgConfig::DEFLATE deflate libdeflate.h)
repng_static_library(PkgConfig::JPEG jpeg jpeglib.h)
repng_static_library(PkgConfig::LIBPNG png16 png.h DEPENDS repng_mingw_zlib)
# Without SPNG_STATIC its header declares the functions as DLL imports.
repng_static_library(PkgConfig::SPNG spng spng.h DEPENDS repng_mingw_zlib DEFINES SPNG_STATIC)
# libtiff reads every compression that Debian's build reads.
foreach(library zstd lzma webp jbig Lerc)
  repng_static_library(repng_mingw_${library} ${library} "")
endforeach()
repng_static_library(PkgConfig::TIFF tiff tiffio.h
  DEPENDS PkgConfig::JPEG PkgConfig::DEFLATE repng_mingw_zlib repng_mingw_zstd repng_mingw_lzma
          repng_mingw_webp repng_mingw_jbig repng_mingw_Lerc)
