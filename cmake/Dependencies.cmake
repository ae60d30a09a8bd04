# Third-party libraries, all from Debian packages. Each becomes one imported
# target so that modules link by name and never repeat include/lib details.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Svg Network)
find_package(PkgConfig REQUIRED)
find_package(ZLIB REQUIRED)

pkg_check_modules(DEVIL REQUIRED IMPORTED_TARGET IL ILU)
pkg_check_modules(GIFLIB REQUIRED IMPORTED_TARGET libgif)
pkg_check_modules(IMAGEQUANT REQUIRED IMPORTED_TARGET imagequant)
pkg_check_modules(LIBWMF REQUIRED IMPORTED_TARGET libwmf)
pkg_check_modules(LIBTIFF REQUIRED IMPORTED_TARGET libtiff-4)
pkg_check_modules(LIBWEBP REQUIRED IMPORTED_TARGET libwebp libwebpdemux libwebpmux)
pkg_check_modules(LIBAVIF REQUIRED IMPORTED_TARGET libavif)
pkg_check_modules(LIBHEIF REQUIRED IMPORTED_TARGET libheif)
pkg_check_modules(LIBJXL REQUIRED IMPORTED_TARGET libjxl)
pkg_check_modules(LCMS2 REQUIRED IMPORTED_TARGET lcms2)
pkg_check_modules(LIBJPEG REQUIRED IMPORTED_TARGET libjpeg)
pkg_check_modules(LIBDEFLATE REQUIRED IMPORTED_TARGET libdeflate)

# FreeImage and libemf2svg ship no pkg-config file.
find_path(FREEIMAGE_INCLUDE_DIR FreeImage.h REQUIRED)
find_library(FREEIMAGE_LIBRARY freeimage REQUIRED)
add_library(Pictrove::FreeImage UNKNOWN IMPORTED)
set_target_properties(Pictrove::FreeImage PROPERTIES
  IMPORTED_LOCATION ${FREEIMAGE_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${FREEIMAGE_INCLUDE_DIR})

find_path(EMF2SVG_INCLUDE_DIR emf2svg.h REQUIRED)
find_library(EMF2SVG_LIBRARY emf2svg REQUIRED)
add_library(Pictrove::Emf2Svg UNKNOWN IMPORTED)
set_target_properties(Pictrove::Emf2Svg PROPERTIES
  IMPORTED_LOCATION ${EMF2SVG_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${EMF2SVG_INCLUDE_DIR})

add_library(Pictrove::DevIL ALIAS PkgConfig::DEVIL)
add_library(Pictrove::Gif ALIAS PkgConfig::GIFLIB)
add_library(Pictrove::ImageQuant ALIAS PkgConfig::IMAGEQUANT)
add_library(Pictrove::Wmf ALIAS PkgConfig::LIBWMF)
add_library(Pictrove::Tiff ALIAS PkgConfig::LIBTIFF)
add_library(Pictrove::WebP ALIAS PkgConfig::LIBWEBP)
add_library(Pictrove::Heif ALIAS PkgConfig::LIBHEIF)
add_library(Pictrove::Avif ALIAS PkgConfig::LIBAVIF)
add_library(Pictrove::Jxl ALIAS PkgConfig::LIBJXL)
add_library(Pictrove::Lcms ALIAS PkgConfig::LCMS2)
add_library(Pictrove::Jpeg ALIAS PkgConfig::LIBJPEG)
add_library(Pictrove::Deflate ALIAS PkgConfig::LIBDEFLATE)
