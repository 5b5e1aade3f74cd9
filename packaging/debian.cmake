# `make package`: a Debian package of the installed tree, built by CPack. Its
# dependencies are read from the binaries by dpkg-shlibdeps.
set(PAGEWEAVER_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/pageweaver)

# Debian wants a copyright file and a compressed changelog beside every package.
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(
  OUTPUT packaging/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory packaging
  COMMAND ${GZIP_PROGRAM} -9 -n -c ${CMAKE_CURRENT_LIST_DIR}/changelog > packaging/changelog.gz
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog
  COMMENT "Compressing the changelog")
add_custom_target(package_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${PAGEWEAVER_DOC_DIR})

# Stripped for the package as Debian strips: also without the compilers' notes. The PDF
# module, loaded by the programs when they write a PDF, is read by dpkg-shlibdeps like
# them: libqpdf comes into the dependencies through it.
install(CODE "set(PAGEWEAVER_OBJCOPY \"${CMAKE_OBJCOPY}\")")
install(CODE "set(PAGEWEAVER_PDF_MODULE \"${CMAKE_INSTALL_LIBDIR}/pageweaver/$<TARGET_FILE_NAME:pageweaver-pdf>\")")
install(CODE [[
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program bin/pageweaver bin/pageweaver-cli ${PAGEWEAVER_PDF_MODULE})
      set(file "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${program}")
      if(EXISTS "${file}")
        execute_process(COMMAND "${PAGEWEAVER_OBJCOPY}" --remove-section=.comment
                                --remove-section=.note "${file}" COMMAND_ERROR_IS_FATAL ANY)
      endif()
    endforeach()
  endif()
]])

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pageweaver)
set(CPACK_PACKAGE_VENDOR Tinkerfield)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tinkerfield <pageweaver@tinkerfield.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "join images into one multi-page TIFF, with settings for every page")
set(CPACK_PACKAGE_DESCRIPTION
    "PageWeaver builds one multi-page TIFF file out of many images: BMP, JPEG,
PNG, TIFF, GIF, PCX, TGA, PSD, WBMP, WMF and EMF. Each page has its own output
size, resolution, compression (none, CCITT Huffman, Group 3 and Group 4, LZW,
JPEG, PackBits, Deflate), bit depth, rotation and flip.

The package holds the desktop application, pageweaver, and the command-line
tool for scripts and batch work, pageweaver-cli.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://tinkerfield.example/pageweaver)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, for HEIF files and for metafiles, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libheif1 (>= 1.15), libcairo2 (>= 1.16)")
# Out of dpkg-shlibdeps' sight: Qt's native Wayland platform (without it Qt runs on X11
# or XWayland) and a font for the text of metafiles.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, fonts-dejavu-core")
include(CPack)
