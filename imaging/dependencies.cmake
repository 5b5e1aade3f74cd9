# What the imaging library links against, found by every build that includes it: the
# main build and the fuzz build.
find_package(PkgConfig REQUIRED)
find_package(TIFF REQUIRED)
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)
# The library loads Cairo and libheif on first use and compiles against their headers
# only (the tests' HEIF fixtures link libheif).
pkg_check_modules(CAIRO REQUIRED cairo)
pkg_check_modules(WEBP REQUIRED IMPORTED_TARGET libwebp libwebpdemux)
pkg_check_modules(HEIF REQUIRED IMPORTED_TARGET libheif)
# The PDF output (the document layer) and the fuzzers' reading of it. Only std::shared_ptr
# is used with it, never its old PointerHolder.
pkg_check_modules(QPDF REQUIRED IMPORTED_TARGET libqpdf)
set_property(TARGET PkgConfig::QPDF APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS
             POINTERHOLDER_TRANSITION=4)
